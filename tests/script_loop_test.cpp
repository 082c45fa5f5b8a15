// The plug-in's life in the hook: registration at load, one guarded pass per tick, restarts of
// the script while the module stays loaded, and unregistration at unload, seen through the calls
// the simulated hook recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/hook.h"
#include "support/director_support.h"
#include "support/named_rows.h"
#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

using fraywick::PrintTo;
using sim::CallKind;

class ScriptLoopTest : public PluginTest {};

TEST_F(ScriptLoopTest, LoadRegistersTheScriptBeforeTheKeyboardHandler) {
  load();
  ASSERT_EQ(world().calls.size(), 2u);
  EXPECT_EQ(world().calls[0].kind, CallKind::ScriptRegister);
  EXPECT_EQ(world().calls[1].kind, CallKind::KeyboardHandlerRegister);
  EXPECT_NE(world().calls[0].args[0], 0u) << "the module handle";
  EXPECT_TRUE(sim::scriptRegistered());
  EXPECT_TRUE(sim::keyboardHandlerRegistered());
}

TEST_F(ScriptLoopTest, UnloadUnregistersTheScriptBeforeTheKeyboardHandler) {
  load();
  const std::uint64_t module = world().calls[0].args[0];
  const std::uint64_t handler = world().calls[1].args[0];
  runTicks(3);
  clearCalls();
  unload();
  ASSERT_EQ(world().calls.size(), 2u);
  EXPECT_EQ(world().calls[0].kind, CallKind::ScriptUnregister);
  EXPECT_EQ(world().calls[0].args[0], module);
  EXPECT_EQ(world().calls[1].kind, CallKind::KeyboardHandlerUnregister);
  EXPECT_EQ(world().calls[1].args[0], handler);
  EXPECT_FALSE(sim::scriptRegistered());
  EXPECT_FALSE(sim::keyboardHandlerRegistered());
}

TEST_F(ScriptLoopTest, EveryTickAsksTheGuardThenWaitsZero) {
  world().guard = {{0, UINT64_MAX, 1}};  // director held off, so each tick is just the loop
  load();
  clearCalls();
  runTicks(5);
  ASSERT_EQ(world().calls.size(), 10u);
  for (int tick = 0; tick < 5; ++tick) {
    const sim::Call& guard = world().calls[2 * tick];
    const sim::Call& wait = world().calls[2 * tick + 1];
    ASSERT_EQ(guard.kind, CallKind::Native);
    EXPECT_EQ(guard.hash, queryByName.hash);
    ASSERT_EQ(guard.args.size(), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(guard.args[0]), "mudtown2");
    EXPECT_EQ(wait.kind, CallKind::ScriptWait);
    EXPECT_EQ(wait.args, (std::vector<std::uint64_t>{0}));
  }
}

// The director's first pass always hashes the bartender names; a pass skipped by the guard
// touches nothing, so the first pass after the guard clears is still a first pass.
TEST_F(ScriptLoopTest, NoDirectorPassWhileTheGuardAnswersNonZero) {
  const std::uint64_t start = world().clockMs;
  world().clockStepMs = 100;
  world().guard = {{0, start + 1000, -1}};
  load();
  runTicks(10);
  EXPECT_EQ(world().countNative(hashOfName.hash), 0u);
  EXPECT_EQ(world().countNative(queryByName.hash), 10u);
  runTicks(1);
  EXPECT_GT(world().countNative(hashOfName.hash), 0u);
}

TEST_F(ScriptLoopTest, EachLoadStartsFromZero) {
  for (int cycle = 0; cycle < 20; ++cycle) {
    sim::resetWorld();
    load();
    runTicks(2);
    unload();
    // A fresh load fills the saloon table again: nine name hashes for the fill and nine for
    // the bartender set on the first pass, nine more on the second.
    ASSERT_EQ(world().countNative(hashOfName.hash), 27u) << "cycle " << cycle;
    ASSERT_EQ(world().calls.front().kind, CallKind::ScriptRegister) << "cycle " << cycle;
    ASSERT_EQ(world().calls.back().kind, CallKind::KeyboardHandlerUnregister) << "cycle " << cycle;
  }
}

// ----- the stack figure the fixture judges every test by -----

// A script that writes a block of `Depth` bytes below its entry's frame once, then waits.
template <std::size_t Depth>
void scriptReaching() {
  volatile unsigned char block[Depth];
  for (std::size_t i = 0; i < Depth; ++i) block[i] = 1;
  while (block[0] == 1) scriptWait(0);
}

std::size_t peakOfOneTick(void (*entry)()) {
  static const char module = 0;
  const auto handle = reinterpret_cast<HMODULE>(const_cast<char*>(&module));
  sim::resetScriptStackPeak();
  // The hook records every call; were the record to grow on the script's fiber, the allocator's
  // frames, whose depth depends on the state of the heap, would join the figure.
  sim::world().calls.reserve(sim::world().calls.size() + 8);
  scriptRegister(handle, entry);
  sim::tick();
  scriptUnregister(handle);
  return sim::scriptStackPeak();
}

// The figure follows the script's deepest frame: what two scripts that differ only in the size of
// one block reach differs by that size (give or take the padding a compiler or sanitizer puts
// around a block), whatever else lies on the stack.
TEST_F(ScriptLoopTest, StackFigureFollowsTheDeepestFrame) {
  const std::size_t shallow = peakOfOneTick(&scriptReaching<2048>);
  const std::size_t deep = peakOfOneTick(&scriptReaching<6144>);
  EXPECT_GE(shallow, 2048u);
  EXPECT_LE(shallow, sim::kScriptStackBytes);
  EXPECT_GE(deep - shallow, 4096u - 256);
  EXPECT_LE(deep - shallow, 4096u + 256);
}

// ----- restarts -----

// What Fraywick.ini holds when the script starts: nothing at all, 1, 0, or a value that does not
// convert.
enum class Ini { None, One, Zero, Word };

void placeSettings(const std::filesystem::path& dir, Ini ini) {
  std::filesystem::remove(dir / "Fraywick.ini");
  if (ini == Ini::None) return;
  const char* value = ini == Ini::One ? "1" : ini == Ini::Zero ? "0" : "yes";
  std::ofstream(dir / "Fraywick.ini") << "[Fraywick]\nFemaleBrawlers=" << value << "\n";
}

struct RestartCase {
  const char* name;
  Ini atLoad;
  // The file before each restart; one tick runs between two restarts.
  std::vector<Ini> atRestarts;
  bool guardUntilRestarted;  // the guard holds the director off: no scan before the restarts
  bool womenAtValentine;     // recruited at the brawl of the first scan
  bool womenAtRhodes;        // recruited at the brawl three seconds in, after the restarts
};

const RestartCase kRestartCases[] = {
    {"BeforeTheFirstScan", Ini::Zero, {Ini::One}, true, true, true},
    {"AfterASaloonBrawled", Ini::One, {Ini::One}, false, true, true},
    {"FileChangedFromOneToZero", Ini::One, {Ini::Zero}, false, true, false},
    {"FileChangedToAValueThatDoesNotConvert", Ini::One, {Ini::Word}, false, true, true},
    {"FileRemoved", Ini::One, {Ini::None}, false, true, true},
    {"TwiceInARow", Ini::One, {Ini::Zero, Ini::None}, false, true, false},
};

class ScriptRestart : public PluginTest, public ::testing::WithParamInterface<RestartCase> {
 protected:
  struct Saloon {
    int row;
    sim::Ped bartender, man, woman;
  };

  Saloon addSaloon(int row, std::int32_t firstHandle) {
    const sim::Vec3 at = triggerPoint(row);
    Saloon saloon{row, {}, {}, {}};
    saloon.bartender =
        addPed(world(), firstHandle, {at.x, at.y + 2, at.z}, {.model = bartenderModel(row)});
    saloon.man = addPed(world(), firstHandle + 1, {at.x + 2, at.y, at.z});
    saloon.woman = addPed(world(), firstHandle + 2, {at.x + 3, at.y, at.z}, {.male = false});
    return saloon;
  }

  std::size_t callsAbout(std::uint64_t hash, const sim::Ped& ped) {
    std::size_t count = 0;
    for (const sim::Call& call : world().calls) {
      count += call.kind == sim::CallKind::Native && call.hash == hash && !call.args.empty() &&
               static_cast<std::int32_t>(call.args[0]) == ped.handle;
    }
    return count;
  }

  // Runs one tick and notes whether it scanned and whether it filled the saloon table.
  void tickAndNote() {
    const std::uint64_t clock = world().clockMs;
    const std::size_t first = world().calls.size();
    runTicks(1);
    std::size_t firstModelHashes = 0;
    for (std::size_t i = first; i < world().calls.size(); ++i) {
      const sim::Call& call = world().calls[i];
      if (call.kind != sim::CallKind::Native) continue;
      if (call.hash == playerPed.hash) scanTimes_.push_back(clock);
      firstModelHashes +=
          call.hash == hashOfName.hash &&
          std::strcmp(reinterpret_cast<const char*>(call.args.at(0)), hashedModelNames()[0]) == 0;
    }
    // The first director pass hashes each model name twice: for the table, then for the set.
    tableFills_ += firstModelHashes == 2;
  }

  std::vector<std::uint64_t> scanTimes_;
  int tableFills_ = 0;
};

// The module stays loaded across each restart: the saloon table stays filled, a saloon that
// brawled never brawls or is tested again, its bartender is not sent off twice, the scan timer
// runs on; only the settings are read again, and a file that does not open or a value that does
// not convert leaves the flag as the earlier start stored it.
TEST_P(ScriptRestart, CarriesTheDirectorsMemoryAndReadsTheSettingsAgain) {
  const RestartCase& c = GetParam();
  constexpr std::uint64_t kStep = 100;
  const std::uint64_t start = world().clockMs;
  world().clockStepMs = kStep;
  addPlayer(world());
  const Saloon valentine = addSaloon(0, 10);
  const Saloon rhodes = addSaloon(2, 20);
  addEvent(world(), kTriggerEvents[0], triggerPoint(0));
  world().events.push_back({kTriggerEvents[0], triggerPoint(2), start + 2500, UINT64_MAX});
  if (c.guardUntilRestarted) world().guard = {{0, start + 500, 1}};
  placeSettings(workDir_, c.atLoad);

  load();
  for (int i = 0; i < 3; ++i) tickAndNote();
  for (std::size_t r = 0; r < c.atRestarts.size(); ++r) {
    if (r > 0) tickAndNote();
    placeSettings(workDir_, c.atRestarts[r]);
    restartScript();
  }
  ASSERT_EQ(scanTimes_.size(), c.guardUntilRestarted ? 0u : 1u) << "scans before the restarts";
  ASSERT_LT(world().clockMs, start + 1000) << "the restarts came within the second after a scan";
  while (world().clockMs < start + 5000) tickAndNote();

  EXPECT_EQ(tableFills_, 1);
  ASSERT_GE(scanTimes_.size(), 4u);
  for (std::size_t i = 1; i < scanTimes_.size(); ++i) {
    EXPECT_GE(scanTimes_[i] - scanTimes_[i - 1], 1000u) << "scan " << i;
  }
  for (const Saloon& saloon : {valentine, rhodes}) {
    SCOPED_TRACE(saloonName(saloon.row));
    EXPECT_EQ(callsAbout(fleeFromPed.hash, saloon.bartender), 1u);
    EXPECT_EQ(callsAbout(removeAllWeapons.hash, saloon.man), 1u);
    EXPECT_EQ(callsAbout(removeAllWeapons.hash, saloon.woman),
              saloon.row == 0 ? c.womenAtValentine : c.womenAtRhodes);
  }
  // After Valentine's brawl, no scan asks about Valentine again.
  std::size_t brawled = 0;
  while (
      brawled < world().calls.size() &&
      !(world().calls[brawled].hash == fleeFromPed.hash &&
        static_cast<std::int32_t>(world().calls[brawled].args[0]) == valentine.bartender.handle)) {
    ++brawled;
  }
  ASSERT_LT(brawled, world().calls.size());
  std::size_t valentineTestsAfter = 0;
  for (std::size_t i = brawled; i < world().calls.size(); ++i) {
    const sim::Call& call = world().calls[i];
    valentineTestsAfter +=
        call.hash == isEventInSphere.hash &&
        static_cast<std::uint32_t>(call.args.at(1)) == F(triggerPoint(0).x).value;
  }
  EXPECT_EQ(valentineTestsAfter, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptRestart, ::testing::ValuesIn(kRestartCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fraywick::testing
