// What the simulated hook keeps between calls: the world, the registered script and its fiber,
// the keyboard handler. Internal to the simulator.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Exported under the hook's decorated names by the aliases in ScriptHookRDR2.def.
#define SIM_HOOK_EXPORT
using ScriptMain = void (*)();
using KeyboardHandler = void (*)(DWORD, WORD, BYTE, BOOL, BOOL, BOOL, BOOL);
#else
// Natively the plug-in's own declarations are the hook's interface; defining the functions
// against them makes any drift between the two a compile error.
#include "host/hook.h"
#define SIM_HOOK_EXPORT __attribute__((visibility("default")))
#endif

#include "sim/fiber.h"
#include "sim/world.h"

namespace sim {

struct HookState {
  std::unique_ptr<World> world = std::make_unique<World>();
  HMODULE module = nullptr;
  ScriptMain script = nullptr;
  std::unique_ptr<ScriptFiber> fiber;
  std::size_t stackPeak = 0;  // of the fibers deleted since the last reset
  // The keyboard handler is read from whatever thread delivers keys.
  std::atomic<KeyboardHandler> keyboard{nullptr};
};

HookState& hookState();

// Deletes the script's fiber wherever it stands, after taking its stack figure.
void dropFiber(HookState& state);

// The keyboard handler reads the clock (GetTickCount) on whatever thread delivers keys while the
// host moves it between ticks, so the hook reads and moves it atomically. Tests that set it while
// no other thread runs may keep writing the plain field.
inline std::atomic_ref<std::uint64_t> clockOf(World& w) {
  return std::atomic_ref<std::uint64_t>(w.clockMs);
}

}  // namespace sim
