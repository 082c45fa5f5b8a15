// The real Fraywick.asi in a Windows process: loaded with LoadLibrary, notified by the Windows
// loader, its clock imports redirected by the simulated hook. Only a Windows build (run under
// Wine here) has a loader, a module handle and an import address table to test, so this file is
// empty elsewhere.
#if defined(_WIN32)

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/host.h"
#include "sim/world.h"
#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

using sim::CallKind;

constexpr std::uint64_t kWorldGetAllPedsCapacity = 256;

// Where a module lies in memory, from its own headers.
struct Image {
  std::uintptr_t base = 0;
  std::size_t size = 0;

  bool contains(std::uint64_t address) const { return address >= base && address - base < size; }
};

const IMAGE_NT_HEADERS64* headersOf(const void* module) {
  const auto* base = static_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
}

Image imageOf(const void* module) {
  return {reinterpret_cast<std::uintptr_t>(module), headersOf(module)->OptionalHeader.SizeOfImage};
}

// The import address table entry through which `module` calls `function` of `dll`, found by
// reading the module's import directory (independently of the simulated hook's own reading).
// nullptr when the module does not import that function.
void* const* importEntry(const void* module, const char* dll, const char* function) {
  const auto* base = static_cast<const BYTE*>(module);
  const IMAGE_DATA_DIRECTORY& directory =
      headersOf(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* library =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       library->Name != 0; ++library) {
    if (_stricmp(reinterpret_cast<const char*>(base + library->Name), dll) != 0) continue;
    const auto* names =
        reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + library->OriginalFirstThunk);
    const auto* entries = reinterpret_cast<void* const*>(base + library->FirstThunk);
    for (std::size_t i = 0; names[i].u1.AddressOfData != 0; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL64(names[i].u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
        return &entries[i];
      }
    }
  }
  return nullptr;
}

bool pluginMapped() {
  return GetModuleHandleW(L"Fraywick.asi") != nullptr;
}

// A recorded call with every address inside the plug-in's image replaced by its offset from the
// image base, so that calls of two different loads compare equal when the plug-in did the same.
struct Normalized {
  CallKind kind;
  std::uint64_t hash;
  std::vector<std::uint64_t> args;
  std::vector<std::uint64_t> results;
  bool operator==(const Normalized&) const = default;
};

constexpr std::uint64_t kInsideImage = 1ull << 63;

std::vector<Normalized> normalizedCalls(const Image& image) {
  std::vector<Normalized> calls;
  for (const sim::Call& call : sim::world().calls) {
    Normalized n{call.kind, call.hash, call.args, call.results};
    for (std::uint64_t& arg : n.args) {
      if (image.contains(arg)) arg = kInsideImage | (arg - image.base);
    }
    calls.push_back(std::move(n));
  }
  return calls;
}

sim::Ped pedAt(std::int32_t handle, sim::Vec3 position, bool player = false) {
  sim::Ped ped;
  ped.handle = handle;
  ped.position = position;
  ped.player = player;
  return ped;
}

// Saloon row 0's trigger point; an event of the first trigger type sits on it for good, so every
// load brawls there on its first scan, and three men stand close enough to be recruited.
void populateBrawlingSaloon(sim::World& world) {
  constexpr sim::Vec3 kSaloon{-309.5f, 808.69f, 121.3f};
  world.addPed(pedAt(1, {0, 0, 0}, true));
  for (std::int32_t handle = 2; handle <= 4; ++handle) {
    world.addPed(pedAt(handle, {kSaloon.x + static_cast<float>(handle), kSaloon.y, kSaloon.z}));
  }
  sim::Event event;
  event.type = 0x2CA3408A;
  event.position = kSaloon;
  event.activeUntil = UINT64_MAX;
  world.events.push_back(event);
}

class WindowsModuleTest : public PluginTest {};

TEST_F(WindowsModuleTest, ThreadAttachAndDetachMakeNoHookCall) {
  load();
  clearCalls();
  // Each thread start and end sends the plug-in's DllMain a thread notification.
  for (int i = 0; i < 4; ++i) std::thread([] {}).join();
  HANDLE thread = CreateThread(
      nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  EXPECT_TRUE(world().calls.empty()) << "first call: " << callKindName(world().calls[0].kind);
  EXPECT_TRUE(sim::scriptRegistered());
  EXPECT_TRUE(sim::keyboardHandlerRegistered());
}

TEST_F(WindowsModuleTest, LoadRegistersTheScriptWithItsModuleHandleBeforeTheKeyboardHandler) {
  load();
  const Image image = imageOf(sim::pluginModule());
  ASSERT_EQ(world().calls.size(), 2u);
  const sim::Call& script = world().calls[0];
  const sim::Call& keyboard = world().calls[1];
  ASSERT_EQ(script.kind, CallKind::ScriptRegister);
  EXPECT_EQ(script.args[0], reinterpret_cast<std::uintptr_t>(sim::pluginModule()))
      << "not the handle LoadLibrary returned";
  EXPECT_TRUE(image.contains(script.args[1])) << "the script entry is not the plug-in's code";
  ASSERT_EQ(keyboard.kind, CallKind::KeyboardHandlerRegister);
  EXPECT_TRUE(image.contains(keyboard.args[0])) << "the handler is not the plug-in's code";
}

TEST_F(WindowsModuleTest, UnloadUnregistersTheScriptThenTheHandlerAndUnmapsTheModule) {
  load();
  ASSERT_EQ(world().calls.size(), 2u);
  const std::uint64_t module = world().calls[0].args[0];
  const std::uint64_t handler = world().calls[1].args[0];
  runTicks(3);
  clearCalls();
  unload();
  ASSERT_EQ(world().calls.size(), 2u);
  EXPECT_EQ(world().calls[0].kind, CallKind::ScriptUnregister);
  EXPECT_EQ(world().calls[0].args, (std::vector<std::uint64_t>{module}));
  EXPECT_EQ(world().calls[1].kind, CallKind::KeyboardHandlerUnregister);
  EXPECT_EQ(world().calls[1].args, (std::vector<std::uint64_t>{handler}));
  EXPECT_FALSE(pluginMapped()) << "the next load would not start from zeroed statics";
}

// A brawl happens once per load: if any state survived an unload, a later load's first ticks
// would not brawl again and its calls would differ from the first load's.
TEST_F(WindowsModuleTest, HundredLoadCyclesEachRepeatTheFirstLoadsCalls) {
  constexpr int kCycles = 100;
  std::vector<Normalized> first;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    sim::resetWorld();
    populateBrawlingSaloon(world());
    load();
    const Image image = imageOf(sim::pluginModule());
    runTicks(3);
    unload();
    ASSERT_FALSE(pluginMapped()) << "cycle " << cycle;
    ASSERT_TRUE(world().errors.empty()) << "cycle " << cycle << ": " << world().errors.front();
    std::vector<Normalized> calls = normalizedCalls(image);
    if (cycle == 0) {
      ASSERT_GT(world().countNative(sim::native::kFightPed), 0u) << "the scenario must brawl";
      first = std::move(calls);
      continue;
    }
    ASSERT_EQ(calls.size(), first.size()) << "cycle " << cycle;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      ASSERT_TRUE(calls[i] == first[i])
          << "cycle " << cycle << ", call " << i << ": " << callKindName(calls[i].kind) << " "
          << (calls[i].kind == CallKind::Native ? sim::nativeName(calls[i].hash) : "");
    }
  }
}

TEST_F(WindowsModuleTest, ThePluginsClockImportsReadTheVirtualClock) {
  load();
  const void* module = sim::pluginModule();
  void* const* tick64 = importEntry(module, "KERNEL32.dll", "GetTickCount64");
  void* const* tick32 = importEntry(module, "KERNEL32.dll", "GetTickCount");
  ASSERT_NE(tick64, nullptr) << "the plug-in does not import GetTickCount64";
  ASSERT_NE(tick32, nullptr) << "the plug-in does not import GetTickCount";

  for (const std::uint64_t clock : {0x0000000100000005ull, 0x00000002FFFFFFFFull, 999ull}) {
    world().clockMs = clock;
    EXPECT_EQ(reinterpret_cast<ULONGLONG(WINAPI*)()>(*tick64)(), clock);
    EXPECT_EQ(reinterpret_cast<DWORD(WINAPI*)()>(*tick32)(), static_cast<DWORD>(clock));
  }
}

TEST_F(WindowsModuleTest, ThisProgramsOwnTickCountReadsTheVirtualClock) {
  void* const* tick32 = importEntry(GetModuleHandleW(nullptr), "KERNEL32.dll", "GetTickCount");
  ASSERT_NE(tick32, nullptr);
  world().clockMs = 0x1234567890ull;
  EXPECT_EQ(reinterpret_cast<DWORD(WINAPI*)()>(*tick32)(), 0x34567890u);
}

// The thread library linked into this program times its waits with GetTickCount64; had that
// been pointed at the virtual clock, which stands still between ticks, a timed wait would never
// end. The wait runs on a thread of its own so that a hang shows up as a failure.
TEST_F(WindowsModuleTest, TimedWaitsInThisProgramStillEndWhileTheVirtualClockStandsStill) {
  HANDLE waiter = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        std::mutex mutex;
        std::condition_variable never;
        std::unique_lock lock(mutex);
        never.wait_for(lock, std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(waiter, nullptr);
  const DWORD waited = WaitForSingleObject(waiter, 10'000);
  if (waited != WAIT_OBJECT_0) TerminateThread(waiter, 1);
  CloseHandle(waiter);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "a 20 ms wait did not end in 10 s";
}

// End to end: the director's once-a-second scan must follow the virtual clock. 20 ticks 250 ms
// apart span 4750 virtual ms and scan at 0, 1000, 2000, 3000 and 4000; they take far less than a
// real second, so on the real clock there would be one scan only.
TEST_F(WindowsModuleTest, TheDirectorsScansFollowTheVirtualClock) {
  world().addPed(pedAt(1, {0, 0, 0}, true));
  world().clockStepMs = 250;
  load();
  runTicks(20);
  EXPECT_EQ(world().countKind(CallKind::WorldGetAllPeds), 5u);
  for (const sim::Call& call : world().calls) {
    if (call.kind == CallKind::WorldGetAllPeds) {
      EXPECT_EQ(call.args[0], kWorldGetAllPedsCapacity);
    }
  }
}

}  // namespace
}  // namespace fraywick::testing

#endif  // _WIN32
