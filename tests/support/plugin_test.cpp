#include "support/plugin_test.h"

#include <fstream>

#include "support/test_directory.h"

namespace fraywick::testing {

namespace {

std::string besideThePlugin(const std::string& stem) {
  std::filesystem::path path = sim::defaultPluginPath();
  return path.replace_filename(stem + path.extension().string()).string();
}

}  // namespace

std::string diagnosticPluginPath() {
  return besideThePlugin("Fraywick-diag");
}

std::string smallCapDiagnosticPluginPath() {
  return besideThePlugin("Fraywick-diag-small-cap");
}

void PluginTest::SetUp() {
  sim::resetWorld();
  sim::resetScriptStackPeak();
  previousDir_ = std::filesystem::current_path();
  workDir_ = freshTestDirectory();
  std::filesystem::current_path(workDir_);
}

void PluginTest::TearDown() {
  sim::unloadPlugin();
  if (kStackFigureIsThePlugins) {
    EXPECT_LE(sim::scriptStackPeak(), kScriptStackBudget)
        << "the script's deepest frame lies " << sim::scriptStackPeak()
        << " bytes below the top of its stack";
  }
  std::filesystem::current_path(previousDir_);
  std::error_code ignored;
  std::filesystem::remove_all(workDir_, ignored);
  EXPECT_TRUE(sim::world().errors.empty())
      << "the simulated hook saw misuse: " << sim::world().errors.front();
}

void PluginTest::load() {
  std::string error;
  ASSERT_TRUE(sim::loadPlugin(sim::defaultPluginPath(), &error)) << error;
}

void PluginTest::runTicks(int count) {
  for (int i = 0; i < count; ++i) ASSERT_TRUE(sim::tick()) << "no script registered";
}

void PluginTest::restartScript() {
  ASSERT_TRUE(sim::restartScript()) << "no script registered";
}

void PluginTest::writeSettings(const std::string& bytes) {
  std::ofstream file(workDir_ / "Fraywick.ini", std::ios::binary);
  file << bytes;
}

std::vector<sim::Call> PluginTest::nativeCalls() const {
  std::vector<sim::Call> natives;
  for (const sim::Call& call : sim::world().calls) {
    if (call.kind == sim::CallKind::Native) natives.push_back(call);
  }
  return natives;
}

}  // namespace fraywick::testing
