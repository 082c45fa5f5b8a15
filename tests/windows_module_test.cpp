// The real Fraywick.asi in a Windows process: loaded with LoadLibrary, notified by the Windows
// loader, its clock imports redirected by the simulated hook. Only a Windows build (run under
// Wine here) has a loader, a module handle and an import address table to test, so this file is
// empty elsewhere.
#if defined(_WIN32)

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/host.h"
#include "sim/world.h"
#include "support/director_support.h"
#include "support/plugin_test.h"
#include "support/raised_exceptions.h"

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

constexpr std::int32_t kWoman = 5;

// Saloon row 0's trigger point; an event of the first trigger type sits on it for good, so every
// load brawls there on its first scan. Three men and a woman stand close enough to be recruited;
// she joins only when the settings file lets women in.
void populateBrawlingSaloon(sim::World& world) {
  const sim::Vec3 saloon = triggerPoint(0);
  addPlayer(world);
  for (std::int32_t handle = 2; handle <= kWoman; ++handle) {
    addPed(world, handle, {saloon.x + static_cast<float>(handle), saloon.y, saloon.z},
           {.male = handle != kWoman});
  }
  addEvent(world, kTriggerEvents[0], saloon);
}

// What a guest could leave behind in the process. Wine answers GetProcessHandleCount and the
// private usage of GetProcessMemoryInfo with 0, so handles are counted by asking after each handle
// value, and memory by walking the heaps block by block and the address space region by region:
// all real there as on Windows.
struct Footprint {
  DWORD nextTlsIndex = 0;  // what TlsAlloc hands out next: the lowest free index
  DWORD nextFlsIndex = 0;  // the same for FlsAlloc
  std::size_t handles = 0;
  std::size_t heapBytes = 0;     // the heaps' blocks in use (malloc's among them)
  std::size_t privateBytes = 0;  // committed private memory that no heap holds
};

// The load cycles below: the runtime settles in over the first loads, and the memory they take is
// not counted against them; of the loads after them, a heap may grow by its own bookkeeping (less
// than each load keeping a 16-byte block), memory outside the heaps by one step of 64 KiB.
constexpr int kCycles = 1500;
constexpr int kWarmUp = 100;
constexpr int kMeasuredLoads = kCycles - kWarmUp;
constexpr std::size_t kHeapSlack = 16 * 1024;
constexpr std::size_t kPrivateSlack = 64 * 1024;

// Every heap of the process (the process heap and the C runtime's among them).
template <class Visit>
void forEachHeap(Visit visit) {
  HANDLE heaps[64];
  const DWORD capacity = static_cast<DWORD>(std::size(heaps));
  const DWORD count = std::min(GetProcessHeaps(capacity, heaps), capacity);
  for (DWORD i = 0; i < count; ++i) visit(heaps[i]);
}

// A heap changes how it serves a block size once that size has been asked for often enough: it
// then takes a group of such blocks at once and keeps it (Wine 10 after 2,048 requests of one
// size or 16 held at once; Windows' low-fragmentation heap on a count of its own). Over the load
// cycles below that would happen size by size, in steps of 64 KiB that stop only after about
// 3,000 loads, whoever asks. So every heap of the process is taken through each small size
// first, in rounds of blocks held together, and the cycles count only what the loads keep.
void settleHeaps() {
  constexpr std::size_t kLargestSize = 4096;
  constexpr int kRounds = 128;
  constexpr int kHeld = 32;
  forEachHeap([](HANDLE heap) {
    for (std::size_t size = 16; size <= kLargestSize; size += 16) {
      for (int round = 0; round < kRounds; ++round) {
        void* blocks[kHeld];
        for (void*& block : blocks) block = HeapAlloc(heap, 0, size);
        for (void* block : blocks) HeapFree(heap, 0, block);
      }
    }
  });
}

// Handle values are multiples of four from 4 up, and a test program's stay far below this bound.
// Under Wine each question is a round trip to its server, so the bound is kept low; a load that
// kept a handle would still be counted long before the warm-up below is over.
constexpr std::uintptr_t kHandleValueLimit = 0x1000;

Footprint footprint() {
  Footprint f;
  f.nextTlsIndex = TlsAlloc();
  TlsFree(f.nextTlsIndex);
  f.nextFlsIndex = FlsAlloc(nullptr);
  FlsFree(f.nextFlsIndex);
  for (std::uintptr_t value = 4; value < kHandleValueLimit; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++f.handles;
  }
  // A heap keeps the memory of freed blocks committed for the next ones: what it holds counts as
  // its blocks in use, not as private memory.
  std::size_t heapCommitted = 0;
  forEachHeap([&](HANDLE heap) {
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) f.heapBytes += entry.cbData;
      if ((entry.wFlags & PROCESS_HEAP_REGION) != 0) heapCommitted += entry.Region.dwCommittedSize;
    }
    HeapUnlock(heap);
  });
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      f.privateBytes += region.RegionSize;
    }
  }
  f.privateBytes -= std::min(heapCommitted, f.privateBytes);
  return f;
}

// How games and debuggers name a thread: an exception carrying the name, for a debugger or the
// game's own handler to pick up.
void nameThisThread(const char* name) {
  struct {
    DWORD type = 0x1000;
    const char* name;
    DWORD threadId = 0xFFFFFFFF;  // the calling thread
    DWORD flags = 0;
  } info;
  info.name = name;
  RaiseException(kThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                 reinterpret_cast<const ULONG_PTR*>(&info));
}

class WindowsModuleTest : public PluginTest {
 protected:
  // Loads and unloads the plug-in at `plugin` many times over (see the test that calls it).
  void loadCyclesLeaveNothingBehind(const std::string& plugin);
};

// Each figure must move when the process really takes what it counts: one that the platform only
// pretends to give would let the load cycles below pass whatever the plug-in leaves behind.
TEST_F(WindowsModuleTest, TheFootprintSeesEachKindOfThingAGuestCouldLeave) {
  constexpr std::size_t kBlock = 1 << 20;
  // The smallest heap leak the load cycles must see: each measured load keeping a 16-byte block.
  void* kept[kMeasuredLoads];
  settleHeaps();
  const Footprint idle = footprint();
  const DWORD tls = TlsAlloc();
  const DWORD fls = FlsAlloc(nullptr);
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  void* const block = VirtualAlloc(nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  for (void*& piece : kept) piece = std::malloc(16);
  asm volatile("" : : "r"(kept) : "memory");  // the blocks are used: not optimised away
  const Footprint holding = footprint();
  TlsFree(tls);
  FlsFree(fls);
  CloseHandle(event);
  VirtualFree(block, 0, MEM_RELEASE);
  for (void* piece : kept) std::free(piece);

  EXPECT_NE(holding.nextTlsIndex, idle.nextTlsIndex);
  EXPECT_NE(holding.nextFlsIndex, idle.nextFlsIndex);
  EXPECT_EQ(holding.handles, idle.handles + 1);
  EXPECT_GE(holding.privateBytes, idle.privateBytes + kBlock);
  EXPECT_GT(holding.heapBytes, idle.heapBytes + kHeapSlack);
  const Footprint released = footprint();
  EXPECT_EQ(released.nextTlsIndex, idle.nextTlsIndex);
  EXPECT_EQ(released.nextFlsIndex, idle.nextFlsIndex);
  EXPECT_EQ(released.handles, idle.handles);
}

TEST_F(WindowsModuleTest, ThreadAttachAndDetachMakeNoHookCall) {
  load();
  clearCalls();
  // Each thread start and end sends the plug-in's DllMain a thread notification.
  for (int i = 0; i < 4; ++i) std::thread([] {}).join();
  LPTHREAD_START_ROUTINE doNothing = [](void*) -> DWORD { return 0; };
  HANDLE thread = CreateThread(nullptr, 0, doNothing, nullptr, 0, nullptr);
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

// The hook may load and unload the same plug-in many times in one game process, and each load is
// a guest there. Each load must start from zeroed statics: a brawl happens once per load, so a
// load whose calls differ from those of the first load with the same settings file kept some
// state. And the loads must leave nothing behind: the same next TLS and FLS index and the same
// handles as before the first, and no private memory that grows with their number. A process has
// 1,088 TLS indexes, so a load that kept one would abort long before the last cycle. The settings
// file cycles through one that converts, one that does not and none at all: each takes its own
// path through the runtime. The diagnostic build, which also takes a buffer and writes a file
// in each load, must leave nothing behind either.
TEST_F(WindowsModuleTest, LoadCyclesLeaveNothingBehindAndEachRepeatsItsFirstLoadsCalls) {
  for (const std::string& plugin : {sim::defaultPluginPath(), diagnosticPluginPath()}) {
    SCOPED_TRACE(plugin);
    loadCyclesLeaveNothingBehind(plugin);
    if (HasFatalFailure()) return;
  }
}

void WindowsModuleTest::loadCyclesLeaveNothingBehind(const std::string& plugin) {
  struct SettingsFile {
    const char* name;
    const char* bytes;  // nullptr: no file
    bool womanJoins;
  };
  constexpr SettingsFile kFiles[] = {
      {"converting", "[Fraywick]\nFemaleBrawlers=1\n", true},
      {"not converting", "[Fraywick]\nFemaleBrawlers=yes\n", false},
      {"missing", nullptr, false},
  };

  std::vector<Normalized> first[std::size(kFiles)];
  settleHeaps();
  const Footprint before = footprint();
  Footprint warm;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    // Counted with this program's own records of the last load gone, as at the end.
    if (cycle == kWarmUp) {
      sim::resetWorld();
      warm = footprint();
      ASSERT_EQ(warm.nextTlsIndex, before.nextTlsIndex) << "TLS indexes kept by the first loads";
      ASSERT_EQ(warm.nextFlsIndex, before.nextFlsIndex) << "FLS indexes kept by the first loads";
      ASSERT_EQ(warm.handles, before.handles) << "handles kept by the first loads";
    }
    const std::size_t fileIndex = static_cast<std::size_t>(cycle) % std::size(kFiles);
    const SettingsFile& file = kFiles[fileIndex];
    if (file.bytes != nullptr) {
      writeSettings(file.bytes);
    } else {
      std::filesystem::remove(workDir_ / "Fraywick.ini");
    }
    sim::resetWorld();
    populateBrawlingSaloon(world());
    std::string error;
    ASSERT_TRUE(sim::loadPlugin(plugin, &error)) << error;
    const Image image = imageOf(sim::pluginModule());
    runTicks(3);
    unload();
    ASSERT_FALSE(pluginMapped()) << "cycle " << cycle;
    ASSERT_TRUE(world().errors.empty()) << "cycle " << cycle << ": " << world().errors.front();
    ASSERT_EQ(world().findPed(kWoman)->effects.weaponsRemoved, file.womanJoins)
        << "cycle " << cycle << ", " << file.name << " settings file";
    std::vector<Normalized> calls = normalizedCalls(image);
    std::vector<Normalized>& expected = first[fileIndex];
    if (expected.empty()) {
      ASSERT_GT(world().countNative(fightPed.hash), 0u) << "the scenario must brawl";
      expected = std::move(calls);
    } else {
      ASSERT_EQ(calls.size(), expected.size()) << "cycle " << cycle;
      for (std::size_t i = 0; i < calls.size(); ++i) {
        ASSERT_TRUE(calls[i] == expected[i])
            << "cycle " << cycle << ", call " << i << ": " << callKindName(calls[i].kind) << " "
            << (calls[i].kind == CallKind::Native ? sim::nativeName(calls[i].hash) : "");
      }
    }
  }
  sim::resetWorld();
  const Footprint after = footprint();
  EXPECT_EQ(after.nextTlsIndex, before.nextTlsIndex);
  EXPECT_EQ(after.nextFlsIndex, before.nextFlsIndex);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_LE(after.heapBytes, warm.heapBytes + kHeapSlack)
      << "the heaps' blocks in use grew by " << after.heapBytes - warm.heapBytes << " bytes over "
      << kMeasuredLoads << " loads";
  EXPECT_LE(after.privateBytes, warm.privateBytes + kPrivateSlack)
      << "private memory outside the heaps grew by " << after.privateBytes - warm.privateBytes
      << " bytes over " << kMeasuredLoads << " loads";
}

// Games and debuggers name threads by raising an exception for whichever handler comes first.
// The plug-in must not put a handler of its own in front of the one the host registered first,
// neither while it is loaded nor after it is gone.
TEST_F(WindowsModuleTest, AHandlerTheHostRegisteredFirstStillSeesThreadNames) {
  const RaisedExceptions host;
  load();
  runTicks(3);
  nameThisThread("while loaded");
  EXPECT_EQ(host.threadNames(), 1) << "not seen while the plug-in is loaded";
  unload();
  const int seenBefore = host.threadNames();
  nameThisThread("after unloading");
  EXPECT_EQ(host.threadNames(), seenBefore + 1) << "not seen after the plug-in was unloaded";
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
  addPlayer(world());
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
