// The trace format: one line per call, no addresses, the same from run to run.
#include "demo/trace.h"

#include <gtest/gtest.h>

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

TEST(Trace, FollowsTheDocumentedGrammarOnEveryLine) {
  const Traced t = trace(defaultScenario());
  const std::string slot = "(0x[0-9A-F]{16}|\"[^\"]*\")";
  const std::regex native("(load|unload|[1-9][0-9]*) native 0x[0-9A-F]{16} [A-Za-z]+( " + slot +
                          ")*( ->( 0x[0-9A-F]{16})+)?");
  const std::regex hook(
      "(load|unload|[1-9][0-9]*) (scriptRegister module#[0-9]+ function#[0-9]+|"
      "scriptUnregister module#[0-9]+|keyboardHandler(Un)?[Rr]egister function#[0-9]+|"
      "scriptWait 0x[0-9A-F]{16}|worldGetAllPeds 0x[0-9A-F]{16} -> 0x[0-9A-F]{16})");
  for (std::size_t i = 2; i < t.lines.size(); ++i) {
    const std::string& line = t.lines[i];
    EXPECT_TRUE(std::regex_match(line, native) || std::regex_match(line, hook))
        << "line " << i + 1 << ": " << line;
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
