// The nine functions of the simulated script hook, over the process-wide World.
//
// They are defined against the plug-in's own declarations (host/hook.h). Natively the plug-in
// binds to them by their ordinary C++ names; on Windows those declarations name each function by
// its MSVC-decorated name, so the definitions here are made under that name and exported by it.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include "sim/fiber.h"
#include "sim/hook_state.h"
#include "sim/host.h"

namespace sim {
namespace {

std::uint64_t addressOf(const void* pointer) {
  return reinterpret_cast<std::uintptr_t>(pointer);
}

}  // namespace

HookState& hookState() {
  static HookState state;
  return state;
}

World& world() {
  return *hookState().world;
}

void resetWorld() {
  hookState().world = std::make_unique<World>();
}

bool tick() {
  HookState& state = hookState();
  if (state.script == nullptr) return false;
  if (!state.fiber) state.fiber = std::make_unique<ScriptFiber>(state.script);
  if (!state.fiber->finished()) state.fiber->resume();
  World& w = world();
  clockOf(w).fetch_add(w.clockStepMs, std::memory_order_relaxed);
  return true;
}

void dropFiber(HookState& state) {
  if (!state.fiber) return;
  state.stackPeak = std::max(state.stackPeak, state.fiber->stackUsed());
  state.fiber.reset();
}

bool restartScript() {
  HookState& state = hookState();
  if (state.script == nullptr) return false;
  if (state.fiber && state.fiber->running()) {
    world().errors.push_back("restartScript from inside the script");
    return false;
  }
  // The entry starts again on a fresh fiber at the next tick.
  dropFiber(state);
  return true;
}

std::size_t scriptStackPeak() {
  const HookState& state = hookState();
  return std::max(state.stackPeak, state.fiber ? state.fiber->stackUsed() : 0);
}

void resetScriptStackPeak() {
  hookState().stackPeak = 0;
}

bool sendKey(std::uint32_t key, std::uint16_t repeats, std::uint8_t scanCode, int isExtended,
             int isWithAlt, int wasDownBefore, int isUpNow) {
  const KeyboardHandler handler = hookState().keyboard.load();
  if (handler == nullptr) return false;
  handler(key, repeats, scanCode, isExtended, isWithAlt, wasDownBefore, isUpNow);
  return true;
}

bool scriptRegistered() {
  return hookState().script != nullptr;
}
bool keyboardHandlerRegistered() {
  return hookState().keyboard.load() != nullptr;
}

}  // namespace sim

using sim::hookState;
using sim::world;

SIM_HOOK_EXPORT void scriptRegister(HMODULE module, ScriptMain entry) {
  world().recordHookCall(sim::CallKind::ScriptRegister,
                         {sim::addressOf(module), sim::addressOf(reinterpret_cast<void*>(entry))});
  sim::HookState& state = hookState();
  sim::dropFiber(state);
  state.module = module;
  state.script = entry;
}

SIM_HOOK_EXPORT void scriptUnregister(HMODULE module) {
  world().recordHookCall(sim::CallKind::ScriptUnregister, {sim::addressOf(module)});
  sim::HookState& state = hookState();
  if (state.module != module) {
    world().errors.push_back("scriptUnregister with a module that registered no script");
    return;
  }
  // The script is never resumed again; its fiber goes with whatever it was doing.
  sim::dropFiber(state);
  state.script = nullptr;
  state.module = nullptr;
}

SIM_HOOK_EXPORT void scriptWait(DWORD milliseconds) {
  world().recordHookCall(sim::CallKind::ScriptWait, {milliseconds});
  sim::HookState& state = hookState();
  if (!state.fiber || !state.fiber->running()) {
    world().errors.push_back("scriptWait outside the script fiber");
    return;
  }
  state.fiber->yield();
}

SIM_HOOK_EXPORT void nativeInit(UINT64 hash) {
  world().nativeInit(hash);
}
SIM_HOOK_EXPORT void nativePush64(UINT64 slot) {
  world().nativePush64(slot);
}
SIM_HOOK_EXPORT UINT64* nativeCall() {
  static_assert(sizeof(UINT64) == sizeof(std::uint64_t));
  return reinterpret_cast<UINT64*>(world().nativeCall());
}

SIM_HOOK_EXPORT int worldGetAllPeds(int* peds, int capacity) {
  return world().worldGetAllPeds(peds, capacity);
}

SIM_HOOK_EXPORT void keyboardHandlerRegister(KeyboardHandler handler) {
  world().recordHookCall(sim::CallKind::KeyboardHandlerRegister,
                         {sim::addressOf(reinterpret_cast<void*>(handler))});
  hookState().keyboard.store(handler);
}

SIM_HOOK_EXPORT void keyboardHandlerUnregister(KeyboardHandler handler) {
  world().recordHookCall(sim::CallKind::KeyboardHandlerUnregister,
                         {sim::addressOf(reinterpret_cast<void*>(handler))});
  KeyboardHandler expected = handler;
  if (!hookState().keyboard.compare_exchange_strong(expected, nullptr)) {
    world().errors.push_back("keyboardHandlerUnregister with a handler that was not registered");
  }
}

#if !defined(_WIN32)
// Natively the plug-in's clock is the virtual one. On Windows the plug-in keeps importing the
// real functions and the host redirects those imports instead (host_windows.cpp).
SIM_HOOK_EXPORT UINT64 GetTickCount64() {
  if (world().answers != nullptr) return world().answers->clock();
  return sim::clockOf(world()).load(std::memory_order_relaxed);
}
SIM_HOOK_EXPORT DWORD GetTickCount() {
  return static_cast<DWORD>(sim::clockOf(world()).load(std::memory_order_relaxed));
}
#endif
