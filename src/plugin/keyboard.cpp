#include "plugin/keyboard.h"

namespace fraywick {

KeyStateTable keyStateTable{};

void RecordKeyMessage(DWORD key, WORD /*repeats*/, BYTE /*scanCode*/, BOOL /*isExtended*/,
                      BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow) {
  if (key >= kKeyCodeCount) return;
  KeyState& slot = keyStateTable[key];
  constexpr auto relaxed = std::memory_order_relaxed;
  slot.tick.store(GetTickCount(), relaxed);
  slot.altDown.store(static_cast<std::uint32_t>(isWithAlt), relaxed);
  slot.wasDown.store(static_cast<std::uint32_t>(wasDownBefore), relaxed);
  slot.keyUp.store(static_cast<std::uint32_t>(isUpNow), relaxed);
}

}  // namespace fraywick
