// A fixture that runs the real plug-in module against a fresh simulated world: each test loads
// the module anew (so every process-wide state starts at zero, as with a fresh game start), in a
// working directory of its own (where the plug-in looks for Fraywick.ini). Every test is also a
// check of the script's stack: after it, the deepest any of its script fibers reached must lie
// within kScriptStackBudget, on the builds where that figure is the plug-in's real need.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/host.h"
#include "sim/world.h"

namespace fraywick::testing {

// What the script may take of the hook's fiber stack in any test, its deepest frame included.
inline constexpr std::size_t kScriptStackBudget = 16 * 1024;

// The figure is judged on optimised builds without instrumentation: the Windows build under Wine.
// In the native Debug build, AddressSanitizer's redzones and frames no optimiser merged make the
// same calls need several times the stack, so there the figure says nothing about the plug-in;
// the sanitized script still runs on a stack of the hook's size, and overflows it if it ever
// needs more.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
inline constexpr bool kStackFigureIsThePlugins = true;
#else
inline constexpr bool kStackFigureIsThePlugins = false;
#endif

// The diagnostic build (Fraywick-diag), beside the shipped module; and the same with a recording
// cap of 64 KiB (Fraywick-diag-small-cap).
std::string diagnosticPluginPath();
std::string smallCapDiagnosticPluginPath();

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sim::World& world() { return sim::world(); }

  // Loads the plug-in; the attach notification registers its script and keyboard handler.
  void load();
  void unload() { sim::unloadPlugin(); }
  // Runs `count` script ticks; each ends at the script's scriptWait(0).
  void runTicks(int count);
  // The hook stops the script in its scriptWait and starts its entry again at the next tick,
  // while the module stays loaded.
  void restartScript();
  // Writes Fraywick.ini into the test's working directory.
  void writeSettings(const std::string& bytes);

  // The native calls recorded since the last clearCalls(), without the hook's own functions.
  std::vector<sim::Call> nativeCalls() const;
  void clearCalls() { sim::world().calls.clear(); }

  std::filesystem::path workDir_;

 private:
  std::filesystem::path previousDir_;
};

}  // namespace fraywick::testing
