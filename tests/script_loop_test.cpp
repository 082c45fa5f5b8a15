// The plug-in's life in the hook: registration at load, one guarded pass per tick, and
// unregistration at unload, seen through the calls the simulated hook recorded.
#include <gtest/gtest.h>

#include <cstring>

#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

using sim::CallKind;

constexpr std::uint64_t kQueryByName = 0xE97BD36574F8B0A6;
constexpr std::uint64_t kHashOfName = 0xFD340785ADF8CFB7;

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
    EXPECT_EQ(guard.hash, kQueryByName);
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
  EXPECT_EQ(world().countNative(kHashOfName), 0u);
  EXPECT_EQ(world().countNative(kQueryByName), 10u);
  runTicks(1);
  EXPECT_GT(world().countNative(kHashOfName), 0u);
}

TEST_F(ScriptLoopTest, EachLoadStartsFromZero) {
  for (int cycle = 0; cycle < 20; ++cycle) {
    sim::resetWorld();
    load();
    runTicks(2);
    unload();
    // A fresh load fills the saloon table again: nine name hashes for the fill and nine for
    // the bartender set on the first pass, nine more on the second.
    ASSERT_EQ(world().countNative(kHashOfName), 27u) << "cycle " << cycle;
    ASSERT_EQ(world().calls.front().kind, CallKind::ScriptRegister) << "cycle " << cycle;
    ASSERT_EQ(world().calls.back().kind, CallKind::KeyboardHandlerUnregister) << "cycle " << cycle;
  }
}

}  // namespace
}  // namespace fraywick::testing
