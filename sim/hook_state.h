// What the simulated hook keeps between calls: the world, the registered script and its fiber,
// the keyboard handler. Internal to the simulator.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The plug-in's own declarations are the hook's interface; defining the functions against them
// makes any drift between the two a compile error. On Windows they also carry the decorated
// names, so the double defines each function under the very name the real hook exports it by.
#include "host/hook.h"
#if defined(_WIN32)
#define SIM_HOOK_EXPORT  // exported through the .def generated from hook.h
#else
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
