// The last keyboard message the hook delivered for each virtual-key code.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "host/hook.h"

namespace fraywick {

// The hook writes these from its own thread while the script runs, so each field is a relaxed
// 32-bit atomic: the same plain stores on x86-64, but no data race in C++ terms.
struct KeyState {
  std::atomic<std::uint32_t> tick;     // GetTickCount when the message came
  std::atomic<std::uint32_t> altDown;  // flags exactly as delivered, not folded to 0 or 1
  std::atomic<std::uint32_t> wasDown;
  std::atomic<std::uint32_t> keyUp;
};

// Codes 0 to 254; code 255 has no slot.
inline constexpr std::size_t kKeyCodeCount = 255;
using KeyStateTable = std::array<KeyState, kKeyCodeCount>;

extern KeyStateTable keyStateTable;

void RecordKeyMessage(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended, BOOL isWithAlt,
                      BOOL wasDownBefore, BOOL isUpNow);

}  // namespace fraywick
