// The scenario file format: what a good file turns into, and the one clear message that each
// kind of bad file gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "demo/atlas.h"
#include "demo/scenario.h"

namespace fraywick::demo {
namespace {

using namespace std::string_literals;

Scenario parsed(const std::string& text) {
  Scenario scenario;
  ScenarioError error;
  EXPECT_TRUE(parseScenario(text, "test.scn", scenario, error)) << error.describe();
  return scenario;
}

TEST(ScenarioFile, ReadsEverySectionAndKey) {
  const Scenario s = parsed(R"(; a comment
[scenario]
title = Two saloons
frames = 250
clock_start = 5000
clock_step = 20
seed = 99

[ped]
name = Amos
handle = 40
model = A_M_M_VALTOWNFOLK_01
at = 1.5, -2.25, 3
sex = female
human = no
player = yes
exists = no
appears = 1000
vanishes = 2000

[event]
type = 0xF5C6180C
at = 10, 20, 30
from = 300
until = 900

[guard]
from = 0
until = 500
value = -3

[restart]
time = 7000
ini = remove

[restart]
time = 2500
ini = [Fraywick] |FemaleBrawlers = 1|  ; on

[restart]
time = 7000
)");
  EXPECT_EQ(s.title, "Two saloons");
  EXPECT_EQ(s.source, "test.scn");
  EXPECT_EQ(s.frames, 250);
  EXPECT_EQ(s.clockStartMs, 5000u);
  EXPECT_EQ(s.clockStepMs, 20u);
  EXPECT_EQ(s.seed, 99u);

  ASSERT_EQ(s.peds.size(), 1u);
  const ScenarioPed& p = s.peds[0];
  EXPECT_EQ(p.ped.label, "Amos");
  EXPECT_EQ(p.ped.handle, 40);
  EXPECT_EQ(p.modelName, "A_M_M_VALTOWNFOLK_01");
  EXPECT_EQ(p.ped.model, sim::hashOfName("A_M_M_VALTOWNFOLK_01"));
  EXPECT_EQ(p.ped.position.x, 1.5f);
  EXPECT_EQ(p.ped.position.y, -2.25f);
  EXPECT_EQ(p.ped.position.z, 3.0f);
  EXPECT_FALSE(p.ped.male);
  EXPECT_FALSE(p.ped.human);
  EXPECT_TRUE(p.ped.player);
  EXPECT_FALSE(p.ped.exists);
  EXPECT_EQ(p.appearsAt, 1000u);
  EXPECT_EQ(p.vanishesAt, 2000u);

  ASSERT_EQ(s.events.size(), 1u);
  EXPECT_EQ(s.events[0].type, 0xF5C6180Cu);
  EXPECT_EQ(s.events[0].position.y, 20.0f);
  EXPECT_EQ(s.events[0].from, 300u);
  EXPECT_EQ(s.events[0].until, 900u);

  ASSERT_EQ(s.guards.size(), 1u);
  EXPECT_EQ(s.guards[0].until, 500u);
  EXPECT_EQ(s.guards[0].value, -3);
  EXPECT_FALSE(s.settingsFile.has_value()) << "no [Fraywick.ini] section: no file";

  ASSERT_EQ(s.restarts.size(), 3u);
  EXPECT_EQ(s.restarts[0].time, 2500u) << "in time order";
  EXPECT_EQ(s.restarts[0].ini, ScenarioRestart::Ini::Replace);
  EXPECT_EQ(s.restarts[0].settingsFile, "[Fraywick]\nFemaleBrawlers = 1\n; on\n");
  EXPECT_EQ(s.restarts[1].ini, ScenarioRestart::Ini::Remove) << "the same time keeps file order";
  EXPECT_EQ(s.restarts[2].ini, ScenarioRestart::Ini::Keep);
}

TEST(ScenarioFile, LeavesOutKeysAtTheirDefaults) {
  const Scenario s = parsed("[ped]\nmodel = 0x00000010\nat = 0,0,0\n");
  const Scenario defaults;
  EXPECT_EQ(s.frames, defaults.frames);
  EXPECT_EQ(s.clockStartMs, defaults.clockStartMs);
  EXPECT_EQ(s.clockStepMs, defaults.clockStepMs);
  ASSERT_EQ(s.peds.size(), 1u);
  EXPECT_EQ(s.peds[0].ped.model, 0x10u);
  EXPECT_TRUE(s.peds[0].modelName.empty()) << "a model given by hash has no name";
  EXPECT_TRUE(s.peds[0].ped.male);
  EXPECT_TRUE(s.peds[0].ped.human);
  EXPECT_FALSE(s.peds[0].ped.player);
  EXPECT_TRUE(s.peds[0].ped.exists);
  EXPECT_EQ(s.peds[0].ped.label, "ped 1");
  EXPECT_FALSE(s.peds[0].appearsAt.has_value());
  EXPECT_EQ(s.guards.size(), 0u);
}

TEST(ScenarioFile, NumbersPedsOnFromThePreviousHandle) {
  const Scenario s = parsed(
      "[ped]\nmodel=A\nat=0,0,0\n[ped]\nhandle=-7\nmodel=A\nat=0,0,0\n[ped]\nmodel=A\nat=0,0,0\n");
  ASSERT_EQ(s.peds.size(), 3u);
  EXPECT_EQ(s.peds[0].ped.handle, 1);
  EXPECT_EQ(s.peds[1].ped.handle, -7);
  EXPECT_EQ(s.peds[2].ped.handle, -6);
}

TEST(ScenarioFile, PlacesPedsAtASaloonWithAnExactFloatOffset) {
  const sim::Vec3 valentine = atlasSaloons()[0].point;
  const Scenario s = parsed(
      "[ped]\nmodel=A\nat = Valentine\n"
      "[ped]\nmodel=A\nat = valentine + 20, 0, 0\n"
      "[ped]\nmodel=A\nat = SaintDenis2 + -1.5, +2, 0.25\n");
  ASSERT_EQ(s.peds.size(), 3u);
  EXPECT_EQ(s.peds[0].ped.position.x, valentine.x);
  EXPECT_EQ(s.peds[0].ped.position.y, valentine.y);
  EXPECT_EQ(s.peds[1].ped.position.x, -289.5f);
  EXPECT_EQ(worldDistance(s.peds[1].ped.position, valentine), 20.0f);
  const sim::Vec3 denis = atlasSaloons()[6].point;
  EXPECT_EQ(s.peds[2].ped.position.x, denis.x + -1.5f);
  EXPECT_EQ(s.peds[2].ped.position.y, denis.y + 2.0f);
  EXPECT_EQ(s.peds[2].ped.position.z, denis.z + 0.25f);
}

TEST(ScenarioFile, TakesTheSettingsFileByteForByte) {
  const std::string ini = "[Fraywick]\r\nFemaleBrawlers = 1 ; on\r\n\n[Other]\nx=[y]\n";
  const Scenario s = parsed("[ped]\nmodel=A\nat=0,0,0\n[Fraywick.ini]\n" + ini);
  ASSERT_TRUE(s.settingsFile.has_value());
  EXPECT_EQ(*s.settingsFile, ini);
  EXPECT_EQ(s.peds.size(), 1u) << "the settings file's sections are not scenario sections";

  const Scenario empty = parsed("[Fraywick.ini]");
  ASSERT_TRUE(empty.settingsFile.has_value()) << "an empty Fraywick.ini is still a file";
  EXPECT_EQ(*empty.settingsFile, "");
}

TEST(ScenarioFile, ToleratesCarriageReturnsAndWhiteSpace) {
  const Scenario s = parsed("\r\n  [ scenario ]  \r\n\tframes =  12 \r\n");
  EXPECT_EQ(s.frames, 12);
}

struct BadInput {
  const char* what;
  std::string text;
  int line;
  const char* says;  // a piece of the message
};

TEST(ScenarioFile, ReportsEachMistakeWithItsLineAndWhatWasExpected) {
  const BadInput cases[] = {
      {"unknown section", "[scenario]\n\n[peds]\n", 3, "expected a section [scenario], [ped]"},
      {"unknown key", "[ped]\nmodel=A\nname=x\nposition=1,2,3\n", 4,
       "expected one of the keys of [ped]"},
      {"key twice", "[ped]\nmodel=A\nmodel=B\n", 3, "'model' is given twice"},
      {"key before any section", "; hi\nframes=3\n", 2, "expected a section header"},
      {"line of no kind", "[scenario]\nframes 3\n", 2, "expected 'key = value'"},
      {"not a number", "[scenario]\nframes = ten\n", 2, "expected frames = a number of script"},
      {"number with a tail", "[scenario]\nframes = 10x\n", 2, "found '10x'"},
      {"zero frames", "[scenario]\nframes = 0\n", 2, "(1 to 100000)"},
      {"too many frames", "[scenario]\nframes = 100001\n", 2, "(1 to 100000)"},
      {"negative time", "[event]\ntype=1\nat=0,0,0\nfrom=-5\nuntil=9\n", 4,
       "milliseconds after the clock start"},
      {"ped without a position", "\n[ped]\nmodel=A\n", 2, "[ped] needs a line 'at = ...'"},
      {"ped without a model", "[ped]\nat=0,0,0\n", 1, "[ped] needs a line 'model = ...'"},
      {"event without a type", "[event]\nat=0,0,0\nfrom=1\nuntil=2\n", 1, "'type = ...'"},
      {"guard without an end", "[guard]\nfrom=1\n", 1, "'until = ...'"},
      {"sex", "[ped]\nmodel=A\nat=0,0,0\nsex=m\n", 4, "expected sex = male or female"},
      {"yes or no", "[ped]\nmodel=A\nat=0,0,0\nhuman=true\n", 4, "expected human = yes or no"},
      {"two coordinates", "[ped]\nmodel=A\nat=1,2\n", 3, "expected at = x, y, z"},
      {"a word for a coordinate", "[ped]\nmodel=A\nat=1,two,3\n", 3, "expected at = x, y, z"},
      {"an infinite coordinate", "[ped]\nmodel=A\nat=1, inf, 3\n", 3,
       "expected a finite number, found 'inf'"},
      {"no number for an offset", "[event]\ntype=1\nat=Valentine + -nan, 0, 0\nfrom=1\nuntil=2\n",
       3, "expected a finite number, found '-nan'"},
      {"unknown saloon", "[ped]\nmodel=A\nat=Tombstone + 1,2,3\n", 3,
       "expected a saloon of the plug-in's table"},
      {"model name with a blank", "[ped]\nmodel=A B\nat=0,0,0\n", 2, "expected model = a model"},
      {"hash beyond 32 bits", "[ped]\nmodel=0x100000000\nat=0,0,0\n", 2,
       "expected model = a model name or a 32-bit hash"},
      {"event ends before it starts", "[event]\ntype=1\nat=0,0,0\nfrom=50\nuntil=50\n", 5,
       "expected until to come after from (50 ms)"},
      {"ped leaves before it comes", "[ped]\nmodel=A\nat=0,0,0\nappears=9\nvanishes=3\n", 5,
       "expected vanishes to come after appears"},
      {"handle taken",
       "[ped]\nname=Ann\nhandle=4\nmodel=A\nat=0,0,0\n[ped]\nhandle=4\nmodel=A\nat=0,0,0\n", 7,
       "handle 4 is taken by 'Ann'"},
      {"handle zero", "[ped]\nhandle=0\nmodel=A\nat=0,0,0\n", 2, "must not be 0"},
      {"handle beyond 32 bits", "[ped]\nhandle=2147483648\nmodel=A\nat=0,0,0\n", 2,
       "a 32-bit ped handle"},
      {"second [scenario]", "[scenario]\nframes=1\n[scenario]\n", 3, "only once (first at line 1)"},
      {"restart without a time", "[restart]\nini=keep\n", 1, "[restart] needs a line 'time"},
      {"restart with an empty ini", "[restart]\ntime=5\nini=\n", 3, "expected ini = keep, remove"},
      {"event type in words", "[event]\ntype=gunshot\nat=0,0,0\nfrom=1\nuntil=2\n", 2,
       "an event-type hash"},
  };
  for (const BadInput& bad : cases) {
    Scenario scenario;
    ScenarioError error;
    EXPECT_FALSE(parseScenario(bad.text, "bad.scn", scenario, error)) << bad.what;
    EXPECT_EQ(error.file, "bad.scn") << bad.what;
    EXPECT_EQ(error.line, bad.line) << bad.what << ": " << error.describe();
    EXPECT_NE(error.message.find(bad.says), std::string::npos)
        << bad.what << ": the message was: " << error.message;
    EXPECT_EQ(error.describe().find('\n'), std::string::npos) << bad.what << ": one line";
  }
}

TEST(ScenarioFile, DescribesAnErrorAsFileLineAndMessage) {
  const ScenarioError error{"tools/scenarios/x.scn", 12, "expected sex = male or female"};
  EXPECT_EQ(error.describe(), "tools/scenarios/x.scn:12: expected sex = male or female");
}

TEST(ScenarioFile, ReportsAFileThatCannotBeOpenedAtLineZero) {
  Scenario scenario;
  ScenarioError error;
  EXPECT_FALSE(loadScenario("/nonexistent/dir/none.scn", scenario, error));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(error.describe(), "/nonexistent/dir/none.scn:0: cannot open the scenario file");
}

// Whatever the bytes, the reader either accepts them or names a line that exists; it never
// crashes (the sanitizers watch the rest).
TEST(ScenarioFile, SurvivesArbitraryBytes) {
  std::mt19937 random(12345);
  const std::string alphabet = "[]=;,+.-0x19aAzZ \t\r\n\\\"\x00\xEF\xBB\xBF"s;
  const std::string pieces[] = {"[ped]\n",    "[event]\n",     "[guard]\n", "model=A\n",
                                "at=0,0,0\n", "from=1\n",      "until=0\n", "at=Rhodes+",
                                "handle=",    "[Fraywick.ini]"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 80);
    for (int i = 0; i < length; ++i) {
      if (random() % 4 == 0) {
        text += pieces[random() % std::size(pieces)];
      } else {
        text += alphabet[random() % alphabet.size()];
      }
    }
    Scenario scenario;
    ScenarioError error;
    if (parseScenario(text, "fuzz.scn", scenario, error)) continue;
    const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_GE(error.line, 1) << text;
    EXPECT_LE(error.line, lines) << text;
    EXPECT_FALSE(error.message.empty()) << text;
  }
}

TEST(ScenarioFile, HelpDocumentsEverySectionAndKey) {
  const std::string help = scenarioFormatHelp();
  for (const char* word :
       {"[scenario]", "[ped]",       "[event]",    "[guard]",     "[Fraywick.ini]", "title",
        "frames",     "clock_start", "clock_step", "seed",        "name",           "handle",
        "model",      "at =",        "sex",        "human",       "player",         "exists",
        "appears",    "vanishes",    "type",       "from",        "until",          "value",
        "[restart]",  "time",        "ini = keep", "ini = remove"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

// The example inside the help text is itself a valid scenario.
TEST(ScenarioFile, HelpExampleParses) {
  const std::string help = scenarioFormatHelp();
  const std::size_t start = help.find("  Example:\n");
  ASSERT_NE(start, std::string::npos);
  std::string example;
  std::size_t at = help.find('\n', start) + 1;
  while (at < help.size()) {
    const std::size_t end = help.find('\n', at);
    std::string line = help.substr(at, end - at);
    example += (line.size() > 4 ? line.substr(4) : std::string()) + "\n";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  const Scenario s = parsed(example);
  EXPECT_EQ(s.peds.size(), 2u);
  EXPECT_EQ(s.events.size(), 1u);
  ASSERT_TRUE(s.settingsFile.has_value());
  EXPECT_NE(s.settingsFile->find("FemaleBrawlers=1"), std::string::npos);
}

}  // namespace
}  // namespace fraywick::demo
