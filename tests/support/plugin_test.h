// A fixture that runs the real plug-in module against a fresh simulated world: each test loads
// the module anew (so every process-wide state starts at zero, as with a fresh game start), in a
// working directory of its own (where the plug-in looks for Fraywick.ini).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/host.h"
#include "sim/world.h"

namespace fraywick::testing {

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
