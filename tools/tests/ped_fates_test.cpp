// Running scenarios against the real plug-in module and reading back what it did: detections,
// each ped's fate and the cost of each kind of frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "demo/analysis.h"
#include "demo/atlas.h"
#include "demo/report.h"
#include "demo/run.h"
#include "demo/scenario.h"
#include "sim/host.h"

namespace fraywick::demo {
namespace {

struct Outcome {
  Run run;
  Analysis analysis;

  const PedFate& fateOf(const std::string& name) const {
    for (const PedFate& fate : analysis.fates) {
      if (run.scenario.peds[fate.ped].ped.label == name) return fate;
    }
    ADD_FAILURE() << "no ped named " << name;
    return analysis.fates.front();
  }
  std::int32_t handleOf(const std::string& name) const {
    for (const ScenarioPed& ped : run.scenario.peds) {
      if (ped.ped.label == name) return ped.ped.handle;
    }
    ADD_FAILURE() << "no ped named " << name;
    return 0;
  }
  const FrameCost* cost(const std::string& kind) const {
    for (const FrameCost& cost : analysis.costs) {
      if (cost.kind == kind) return &cost;
    }
    return nullptr;
  }
};

Outcome run(const Scenario& scenario) {
  Outcome outcome;
  std::string error;
  EXPECT_TRUE(runScenario(scenario, sim::defaultPluginPath(), outcome.run, error)) << error;
  EXPECT_TRUE(outcome.run.protocolErrors.empty())
      << "the simulated hook saw misuse: " << outcome.run.protocolErrors.front();
  outcome.analysis = analyse(outcome.run);
  return outcome;
}

Scenario scenarioOf(const std::string& text) {
  Scenario scenario;
  ScenarioError error;
  EXPECT_TRUE(parseScenario(text, "test.scn", scenario, error)) << error.describe();
  return scenario;
}

Outcome run(const std::string& text) {
  return run(scenarioOf(text));
}

TEST(DefaultEvening, DetectsTheFightAtValentineOnTheFirstScanAfterIt) {
  const Outcome o = run(defaultScenario());
  ASSERT_EQ(o.analysis.detections.size(), 1u);
  const Detection& d = o.analysis.detections[0];
  EXPECT_EQ(d.row, 0u);
  EXPECT_EQ(d.eventType, 0x2CA3408Au);
  const ScenarioEvent& event = o.run.scenario.events.at(0);
  // Scans come about once a second, so the first one at or after the event's start sees it.
  EXPECT_GE(d.sinceStartMs, event.from);
  EXPECT_LT(d.sinceStartMs, event.from + 1000 + o.run.scenario.clockStepMs);
  const Frame& frame = o.run.frames.at(static_cast<std::size_t>(d.frame - 1));
  EXPECT_EQ(frame.clockMs - o.run.scenario.clockStartMs, d.sinceStartMs);
}

TEST(DefaultEvening, GivesEveryPedTheFateItsAttributesCallFor) {
  const Outcome o = run(defaultScenario());
  struct Expected {
    const char* name;
    Fate fate;
  };
  const Expected table[] = {
      {"the player", Fate::Player},   {"Otis Wexley", Fate::FledBartender},
      {"Silas Crane", Fate::Brawler}, {"Mabel Finch", Fate::Female},
      {"Ezra Hollis", Fate::Brawler}, {"Ada Quill", Fate::Female},
      {"Walt Pruitt", Fate::Brawler}, {"Rusty", Fate::NotHuman},
      {"Jonah Reed", Fate::Brawler},  {"Hattie Vance", Fate::Female},
      {"Amos Tate", Fate::Brawler},   {"Rufus Dade", Fate::OtherBartender},
      {"Lottie Greer", Fate::Female}, {"Clem Harlow", Fate::Brawler},
      {"Nell Bishop", Fate::Female},  {"Hank Sutter", Fate::Brawler},
      {"Eli Barrow", Fate::Brawler},  {"Gus Nye", Fate::TooFar},
  };
  ASSERT_EQ(o.analysis.fates.size(), std::size(table));
  for (const Expected& e : table) {
    const PedFate& fate = o.fateOf(e.name);
    EXPECT_EQ(fateLabel(fate.fate), std::string(fateLabel(e.fate))) << e.name << ": " << fate.why;
    EXPECT_EQ(fate.saloon, 0u) << e.name;
  }
  EXPECT_NE(o.fateOf("Rufus Dade").why.find("bartender of Rhodes"), std::string::npos);
  EXPECT_FALSE(o.analysis.femaleBrawlersSeen);
}

TEST(DefaultEvening, RecruitsAtExactlyTwentyMetresButNotJustBeyond) {
  const Outcome o = run(defaultScenario());
  const PedFate& inside = o.fateOf("Eli Barrow");
  ASSERT_TRUE(inside.distanceAsked) << "the plug-in measured the distance itself";
  EXPECT_EQ(inside.distance, 20.0f);
  EXPECT_EQ(inside.fate, Fate::Brawler);
  const PedFate& outside = o.fateOf("Gus Nye");
  ASSERT_TRUE(outside.distanceAsked);
  EXPECT_GT(outside.distance, 20.0f);
  EXPECT_LT(outside.distance, 20.1f);
  EXPECT_EQ(outside.fate, Fate::TooFar);
  EXPECT_NE(outside.why.find("20.06 m"), std::string::npos) << outside.why;
}

TEST(DefaultEvening, SendsEachBrawlerAtAnotherBrawlerAndTheBartenderAwayFromThePlayer) {
  const Outcome o = run(defaultScenario());
  std::map<std::int32_t, Fate> byHandle;
  for (const PedFate& fate : o.analysis.fates) {
    byHandle[o.run.scenario.peds[fate.ped].ped.handle] = fate.fate;
  }
  for (const PedFate& fate : o.analysis.fates) {
    const std::int32_t self = o.run.scenario.peds[fate.ped].ped.handle;
    if (fate.fate != Fate::Brawler) {
      EXPECT_FALSE(fate.fightTarget.has_value()) << fate.why;
      EXPECT_FALSE(fate.group.has_value()) << fate.why;
      continue;
    }
    ASSERT_TRUE(fate.group.has_value());
    EXPECT_GE(*fate.group, 4096u);
    EXPECT_LE(*fate.group, 65534u);
    if (!fate.fightTarget) continue;  // possible, if every draw picked itself
    EXPECT_NE(*fate.fightTarget, self);
    EXPECT_EQ(byHandle[*fate.fightTarget], Fate::Brawler);
    EXPECT_NE(fate.why.find("fights"), std::string::npos) << fate.why;
  }
  const PedFate& bartender = o.fateOf("Otis Wexley");
  ASSERT_TRUE(bartender.fleeingFrom.has_value());
  EXPECT_EQ(*bartender.fleeingFrom, o.handleOf("the player"));
  EXPECT_EQ(bartender.why, "bartender, flees from the player");
}

TEST(DefaultEvening, CountsTheNativeCallsOfEachKindOfFrame) {
  const Outcome o = run(defaultScenario());
  const FrameCost* idle = o.cost("idle");
  const FrameCost* scan = o.cost("scan");
  const FrameCost* brawl = o.cost("brawl");
  const FrameCost* first = o.cost("first pass");
  ASSERT_TRUE(idle && scan && brawl && first);
  // An idle frame: the guard query and the nine bartender model names.
  EXPECT_EQ(idle->minNatives, 10u);
  EXPECT_EQ(idle->maxNatives, 10u);
  EXPECT_EQ(idle->maxHookCalls, 1u) << "scriptWait only";
  // A scan adds the player check and five event tests for each of the 13 saloons, or 12 once
  // Valentine has brawled; the ped list is a hook call.
  EXPECT_EQ(scan->maxNatives, 10u + 2 + 13 * 5);
  EXPECT_EQ(scan->minNatives, 10u + 2 + 12 * 5);
  EXPECT_EQ(scan->maxHookCalls, 2u);
  EXPECT_EQ(first->minNatives, 9u + 10 + 2 + 13 * 5) << "the table fill adds nine names";
  EXPECT_EQ(brawl->frames, 1);
  EXPECT_GT(brawl->minNatives, scan->maxNatives);
  int frames = 0;
  for (const FrameCost& cost : o.analysis.costs) frames += cost.frames;
  EXPECT_EQ(frames, o.run.scenario.frames) << "every frame is of one kind";

  std::size_t natives = 0;
  for (const auto& [name, count] : o.analysis.brawlFrameNatives) natives += count;
  EXPECT_EQ(natives, brawl->minNatives);
}

TEST(Settings, LetWomenJoinWhenTheIniSaysSo) {
  Scenario scenario = defaultScenario();
  scenario.settingsFile = "[Fraywick]\nFemaleBrawlers=1\n";
  const Outcome o = run(scenario);
  for (const char* woman : {"Mabel Finch", "Ada Quill", "Hattie Vance", "Lottie Greer"}) {
    EXPECT_EQ(o.fateOf(woman).fate, Fate::Brawler) << woman;
  }
  EXPECT_TRUE(o.analysis.femaleBrawlersSeen);
  EXPECT_EQ(o.fateOf("Rusty").fate, Fate::NotHuman) << "still no dogs";
}

TEST(Settings, KeepWomenOutWhenTheIniSaysZero) {
  Scenario scenario = defaultScenario();
  scenario.settingsFile = "[Fraywick]\nFemaleBrawlers=0\n";
  const Outcome o = run(scenario);
  EXPECT_EQ(o.fateOf("Mabel Finch").fate, Fate::Female);
}

// The shipped example: Saint Denis brawls with men only, the session is reloaded with the setting
// switched on, a second fight there starts nothing, the second Saint Denis saloon takes women in.
TEST(Settings, AreReadAgainWhenTheHookRestartsTheScript) {
  Scenario scenario;
  ScenarioError error;
  ASSERT_TRUE(loadScenario(FRAYWICK_SCENARIO_DIR "/session-reload.scn", scenario, error))
      << error.describe();
  const Outcome o = run(scenario);
  ASSERT_EQ(scenario.restarts.size(), 1u);
  const auto restarted = std::find_if(o.run.frames.begin(), o.run.frames.end(),
                                      [](const Frame& f) { return !f.restarts.empty(); });
  ASSERT_NE(restarted, o.run.frames.end());
  EXPECT_EQ(restarted->clockMs - scenario.clockStartMs, 4000u) << "the first frame from 4 s on";
  ASSERT_EQ(o.analysis.detections.size(), 2u) << "Saint Denis brawls once for this load";
  EXPECT_LT(o.analysis.detections[0].frame, restarted->number);
  EXPECT_EQ(o.analysis.detections[1].row, 6u);
  EXPECT_EQ(o.fateOf("Odette Villiers").fate, Fate::Female);
  EXPECT_EQ(o.fateOf("Celeste Arnaud").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Margot Lefevre").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Lucien the bartender").fate, Fate::FledBartender);
  const FrameCost* first = o.cost("first pass");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->frames, 1) << "the saloon table stays filled across the restart";
}

// The answer that heads every report: where and when a brawl started, or why none did, each
// reason read from the calls.
TEST(Answer, SaysWhereABrawlStartedOrWhyNoneDid) {
  const std::string scan = R"(
[scenario]
frames = 200
[ped]
name = Amos
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 1, 0, 0
)";
  const std::string player = R"(
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 0, -9, 0
)";
  const std::string fight = R"(
[event]
type = 0x86D43C6C
at = Valentine
from = 0
until = 8000
)";
  const auto withoutEvents = [] {
    Scenario scenario = defaultScenario();
    scenario.events.clear();
    return scenario;
  };
  const auto reloaded = [] {
    Scenario scenario;
    ScenarioError error;
    EXPECT_TRUE(loadScenario(FRAYWICK_SCENARIO_DIR "/session-reload.scn", scenario, error));
    return scenario;
  };
  const std::string others =
      "Valentine2, Rhodes, Annesburg, VanHorn, SaintDenis, SaintDenis2, Blackwater, Armadillo, "
      "Tumbleweed, Strawberry, EmeraldRanch and Morningstar";
  const std::string all = "All 13 saloons (Valentine, " + others + ")";
  const struct {
    const char* what;
    Scenario scenario;
    const char* headline;
    std::vector<std::string> reasons;  // the first ones, in order
  } cases[] = {
      {"a brawl",
       defaultScenario(),
       "Yes, at Valentine.",
       {"Valentine: a brawl started in frame 190, 3.024 s in: event 0x2CA3408A within 8 m of the "
        "saloon; 8 brawlers, and the bartender flees. It was not tested again in the 3 later "
        "scans: it had already brawled during this load.",
        "The other 12 saloons (" + others +
            "): no trigger event within 8 m in any of the 7 scans that tested them."}},
      {"a second fight where a brawl was",
       reloaded(),
       "Yes, at SaintDenis and SaintDenis2.",
       {"SaintDenis: a brawl started in frame 64, 1.008 s in: event 0x2CA3408A within 8 m of the "
        "saloon; 2 brawlers, and the bartender flees. It was not tested again in the 7 later "
        "scans: it had already brawled during this load."}},
      {"no trigger event",
       withoutEvents(),
       "No.",
       {all + ": no trigger event within 8 m in any of the 7 scans that tested them."}},
      {"no player ped",
       scenarioOf(scan + fight),
       "No.",
       {"There was no player ped in any of the 4 scans, so no saloon was tested.",
        all + ": never tested for a trigger event."}},
      {"the guard all the time",
       scenarioOf(scan + player + fight + "[guard]\nfrom = 0\nuntil = 100000\n"),
       "No.",
       {"The game's script \"mudtown2\" was loaded, so the plug-in held off for 200 of 200 frames "
        "(all of them).",
        all + ": never tested for a trigger event."}},
      {"the guard twice",
       scenarioOf(scan + player +
                  "[guard]\nfrom = 0\nuntil = 1000\n[guard]\nfrom = 2000\nuntil = 100000\n"),
       "No.",
       {"The game's script \"mudtown2\" was loaded, so the plug-in held off for 138 of 200 frames "
        "(in 2 stretches, from frame 1 to frame 200).",
        all + ": no trigger event within 8 m in the one scan that tested them."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = run(c.scenario);
    const Answer answer = answerOf(o.run, o.analysis);
    EXPECT_EQ(answer.headline, c.headline);
    ASSERT_GE(answer.reasons.size(), c.reasons.size());
    for (std::size_t i = 0; i < c.reasons.size(); ++i) EXPECT_EQ(answer.reasons[i], c.reasons[i]);
  }
}

TEST(Guard, HoldsTheDirectorOffUntilItsSpanEnds) {
  const Outcome o = run(R"(
[scenario]
frames = 500
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 0, -9, 0
[ped]
name = Amos
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 1, 0, 0
[ped]
name = Walt
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 2, 0, 0
[event]
type = 0x86D43C6C
at = Valentine
from = 0
until = 8000
[guard]
from = 0
until = 5000
)");
  ASSERT_EQ(o.analysis.detections.size(), 1u);
  EXPECT_GE(o.analysis.detections[0].sinceStartMs, 5000u);
  EXPECT_LT(o.analysis.detections[0].sinceStartMs, 5000u + 16);
  const FrameCost* guarded = o.cost("guarded");
  ASSERT_NE(guarded, nullptr);
  EXPECT_EQ(guarded->frames, 5000 / 16 + 1);
  EXPECT_EQ(guarded->maxNatives, 1u) << "the guard query alone";
  EXPECT_EQ(o.fateOf("Amos").fate, Fate::Brawler);
  const Answer answer = answerOf(o.run, o.analysis);
  EXPECT_EQ(answer.reasons.at(1),
            "The game's script \"mudtown2\" was loaded, so the plug-in held off for 313 of 500 "
            "frames (frames 1-313).");
}

TEST(Presence, LeavesOutPedsThatArriveAfterTheBrawlOrLeftBefore) {
  const Outcome o = run(R"(
[scenario]
frames = 300
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 0, -9, 0
[ped]
name = Early
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 1, 0, 0
vanishes = 500
[ped]
name = Late
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 2, 0, 0
appears = 3000
[ped]
name = There
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 3, 0, 0
[ped]
name = Never
exists = no
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 4, 0, 0
[event]
type = 0x71B212BD
at = Valentine + 0, 5, 0
from = 1000
until = 2000
)");
  ASSERT_EQ(o.analysis.detections.size(), 1u);
  EXPECT_EQ(o.fateOf("Early").fate, Fate::Absent);
  EXPECT_NE(o.fateOf("Early").why.find("until 0.500 s"), std::string::npos);
  EXPECT_EQ(o.fateOf("Late").fate, Fate::Absent);
  EXPECT_EQ(o.fateOf("Never").fate, Fate::Absent);
  EXPECT_EQ(o.fateOf("There").fate, Fate::Brawler);
  EXPECT_FALSE(o.fateOf("There").fightTarget.has_value())
      << "a lone brawler draws only itself as an opponent";
  EXPECT_NE(o.fateOf("There").why.find("no opponent"), std::string::npos);
}

TEST(Saloons, BrawlTogetherWhenHitInTheSameScanAndOthersStayQuiet) {
  const Outcome o = run(R"(
[scenario]
frames = 100
[ped]
name = Rhodes man
model = A_M_M_VALTOWNFOLK_01
at = Rhodes + 1, 1, 0
[ped]
name = Rhodes woman
model = A_M_M_VALTOWNFOLK_01
sex = female
at = Rhodes + 2, 1, 0
[ped]
name = Rhodes bartender
model = U_M_M_RHDBARTENDER_01
at = Rhodes + 0, 3, 0
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Rhodes + 0, -3, 0
[ped]
name = Denis man
model = A_M_M_VALTOWNFOLK_01
at = SaintDenis + 1, 0, 0
[ped]
name = Denis woman
model = A_F_M_VALTOWNFOLK_01
sex = female
at = SaintDenis + -1, 0, 0
[ped]
name = Emerald man
model = A_M_M_VALTOWNFOLK_01
at = EmeraldRanch + 1, 0, 0
[event]
type = 0x73DBE22C
at = Rhodes
from = 0
until = 5000
[event]
type = 0xF5C6180C
at = SaintDenis + 0, 7, 0
from = 0
until = 5000
[Fraywick.ini]
[Fraywick]
FemaleBrawlers = 1
)");
  ASSERT_EQ(o.analysis.detections.size(), 2u);
  EXPECT_EQ(o.analysis.detections[0].frame, o.analysis.detections[1].frame);
  EXPECT_EQ(atlasSaloons()[o.analysis.detections[0].row].name, std::string("Rhodes"));
  EXPECT_EQ(atlasSaloons()[o.analysis.detections[1].row].name, std::string("SaintDenis"));
  EXPECT_EQ(o.analysis.detections[1].eventType, 0xF5C6180Cu);
  EXPECT_EQ(o.fateOf("Rhodes man").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Rhodes woman").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Rhodes bartender").fate, Fate::FledBartender);
  EXPECT_EQ(o.fateOf("Denis man").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Denis woman").fate, Fate::Brawler);
  EXPECT_EQ(o.fateOf("Emerald man").fate, Fate::NoBrawl);
  EXPECT_NE(o.fateOf("Emerald man").why.find("EmeraldRanch"), std::string::npos);
  // Brawlers of the two saloons are only ever sent at brawlers of their own saloon.
  for (const char* name : {"Rhodes man", "Rhodes woman"}) {
    const PedFate& fate = o.fateOf(name);
    ASSERT_TRUE(fate.fightTarget.has_value()) << name;
    const std::int32_t other =
        std::string(name) == "Rhodes man" ? o.handleOf("Rhodes woman") : o.handleOf("Rhodes man");
    EXPECT_EQ(*fate.fightTarget, other) << name;
  }
}

TEST(Saloons, LeaveASecondBartenderOfTheSameModelAlone) {
  const Outcome o = run(R"(
[ped]
name = First
model = U_M_M_VALBARTENDER_01
at = Valentine + 1, 0, 0
[ped]
name = Second
model = U_M_M_VALBARTENDER_01
at = Valentine + 2, 0, 0
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 3, 0, 0
[event]
type = 0x2CA3408A
at = Valentine
from = 0
until = 2000
)");
  EXPECT_EQ(o.fateOf("First").fate, Fate::FledBartender);
  EXPECT_EQ(o.fateOf("Second").fate, Fate::OtherBartender);
  EXPECT_NE(o.fateOf("Second").why.find("second bartender of Valentine"), std::string::npos);
}

TEST(Saloons, StayQuietWithoutATriggerEvent) {
  Scenario scenario = defaultScenario();
  scenario.events.clear();
  const Outcome o = run(scenario);
  EXPECT_TRUE(o.analysis.detections.empty());
  for (const PedFate& fate : o.analysis.fates) EXPECT_EQ(fate.fate, Fate::NoBrawl) << fate.why;
  EXPECT_EQ(o.cost("brawl"), nullptr);
}

TEST(Saloons, IgnoreAnEventJustOutsideTheEightMetreSphere) {
  Scenario scenario = defaultScenario();
  const sim::Vec3 valentine = atlasSaloons()[0].point;
  scenario.events[0].position = {valentine.x + 8.0625f, valentine.y, valentine.z};
  EXPECT_TRUE(run(scenario).analysis.detections.empty());
  scenario.events[0].position = {valentine.x + 8.0f, valentine.y, valentine.z};
  EXPECT_EQ(run(scenario).analysis.detections.size(), 1u);
}

}  // namespace
}  // namespace fraywick::demo
