// The trace format: one line per call, no addresses, the same from run to run.
#include "demo/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "demo/run.h"
#include "demo/scenario.h"
#include "sim/host.h"

namespace fraywick::demo {
namespace {

struct Traced {
  Run run;
  std::vector<std::string> lines;
};

Traced trace(const Scenario& scenario) {
  Traced traced;
  std::string error;
  EXPECT_TRUE(runScenario(scenario, sim::defaultPluginPath(), traced.run, error)) << error;
  std::ostringstream out;
  writeTrace(traced.run, out);
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) traced.lines.push_back(line);
  return traced;
}

std::vector<std::string> linesWith(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) found.push_back(line);
  }
  return found;
}

TEST(Trace, HasOneLinePerCallAfterATwoLineHeader) {
  const Traced t = trace(defaultScenario());
  ASSERT_EQ(t.lines.size(), t.run.calls.size() + 2);
  EXPECT_EQ(t.lines[0], "# fraywick-sim trace, format 1");
  EXPECT_EQ(t.lines[1], "# frames=400 clock_start=10000000 clock_step=16 seed=7");
}

// Every line is a native call, a hook call or a restart, as demo/trace.h documents them.
void expectDocumentedGrammar(const Traced& t) {
  const std::string slot = "(0x[0-9A-F]{16}|\"[^\"]*\")";
  const std::regex native("(load|unload|[1-9][0-9]*) native 0x[0-9A-F]{16} [A-Za-z]+( " + slot +
                          ")*( ->( 0x[0-9A-F]{16})+)?");
  const std::regex hook(
      "(load|unload|[1-9][0-9]*) (scriptRegister module#[0-9]+ function#[0-9]+|"
      "scriptUnregister module#[0-9]+|keyboardHandler(Un)?[Rr]egister function#[0-9]+|"
      "scriptWait 0x[0-9A-F]{16}|worldGetAllPeds 0x[0-9A-F]{16} -> 0x[0-9A-F]{16})");
  const std::regex restart("[1-9][0-9]* restart Fraywick.ini (kept|removed|replaced)");
  for (std::size_t i = 2; i < t.lines.size(); ++i) {
    const std::string& line = t.lines[i];
    EXPECT_TRUE(std::regex_match(line, native) || std::regex_match(line, hook) ||
                std::regex_match(line, restart))
        << "line " << i + 1 << ": " << line;
  }
}

// The built-in evening, with the hook restarting the script twice on the way.
Scenario restartedEvening() {
  Scenario scenario = defaultScenario();
  scenario.restarts = {{1000, ScenarioRestart::Ini::Replace, "[Fraywick]\nFemaleBrawlers=1\n"},
                       {4000, ScenarioRestart::Ini::Remove, ""}};
  return scenario;
}

TEST(Trace, FollowsTheDocumentedGrammarOnEveryLine) {
  for (const Scenario& scenario : {defaultScenario(), restartedEvening()}) {
    SCOPED_TRACE(scenario.restarts.empty() ? "no restart" : "restarts");
    expectDocumentedGrammar(trace(scenario));
  }
}

// A restart is a line of its own just before the first call of the frame it came before.
TEST(Trace, MarksEachRestartBeforeTheFramesFirstCall) {
  const Traced t = trace(restartedEvening());
  const auto restarts = linesWith(t.lines, " restart ");
  ASSERT_EQ(restarts.size(), 2u);
  // 1000 ms and 4000 ms after the start, at 16 ms a frame: frames 64 and 251.
  EXPECT_EQ(restarts[0], "64 restart Fraywick.ini replaced");
  EXPECT_EQ(restarts[1], "251 restart Fraywick.ini removed");
  for (const std::string& line : restarts) {
    const auto at = std::find(t.lines.begin(), t.lines.end(), line);
    const std::string frame = line.substr(0, line.find(' '));
    ASSERT_NE(at + 1, t.lines.end());
    EXPECT_TRUE(at[-1].starts_with(std::to_string(std::stoi(frame) - 1) + " scriptWait")) << at[-1];
    EXPECT_TRUE(at[1].starts_with(frame + " native 0xE97BD36574F8B0A6 queryByName")) << at[1];
  }
}

TEST(Trace, ShowsTextsAsTextsAndPointersAsTokens) {
  const Traced t = trace(defaultScenario());
  const auto guards = linesWith(t.lines, " queryByName ");
  ASSERT_EQ(guards.size(), 400u) << "one guard query per frame";
  EXPECT_EQ(guards[0],
            "1 native 0xE97BD36574F8B0A6 queryByName \"mudtown2\" -> 0x0000000000000000");
  EXPECT_EQ(linesWith(t.lines, " hashOfName \"WEAPON_UNARMED\"").size(), 8u)
      << "asked once for each of the eight brawlers";
  EXPECT_EQ(t.lines[2], "load scriptRegister module#1 function#1");
  EXPECT_EQ(t.lines[3], "load keyboardHandlerRegister function#2");
  EXPECT_EQ(t.lines[t.lines.size() - 2], "unload scriptUnregister module#1");
  EXPECT_EQ(t.lines.back(), "unload keyboardHandlerUnregister function#2")
      << "the handler that was registered is the one removed";
}

TEST(Trace, WritesFloatsAsTheirBitsAndResultsOnlyWhereTheNativeHasThem) {
  const Traced t = trace(defaultScenario());
  const auto tests = linesWith(t.lines, " isEventInSphere ");
  ASSERT_FALSE(tests.empty());
  // Valentine's trigger point and the 8 m radius, as pushed.
  EXPECT_EQ(tests[0],
            "1 native 0x9DB47E16060D6354 isEventInSphere 0x000000002CA3408A 0x00000000C39AC000 "
            "0x00000000444A2C29 0x0000000042F2999A 0x0000000041000000 -> 0x0000000000000000");
  for (const std::string& line : linesWith(t.lines, " fightPed ")) {
    EXPECT_EQ(line.find("->"), std::string::npos) << "fightPed has no result: " << line;
  }
  const auto positions = linesWith(t.lines, " entityPosition ");
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(std::count(positions[0].begin(), positions[0].end(), 'x'), 1 + 3 + 3)
      << "hash, three slots, three results: " << positions[0];
}

TEST(Trace, IsTheSameForTheSameScenarioEveryTime) {
  const Traced first = trace(defaultScenario());
  const Traced second = trace(defaultScenario());
  EXPECT_EQ(first.lines, second.lines);
}

TEST(Trace, ChangesWithTheRandomSeed) {
  Scenario other = defaultScenario();
  other.seed = 8;
  EXPECT_NE(trace(defaultScenario()).lines, trace(other).lines);
}

}  // namespace
}  // namespace fraywick::demo
