// What a hit does at a saloon: the ped filter in its fixed order, the recruitment of a brawler, the
// bartender who flees instead, and the setting that lets women join.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/director_support.h"

namespace fraywick::testing {
namespace {

constexpr const char* kFemaleBrawlersOn = "[Fraywick]\nFemaleBrawlers=1\n";

// ----- one whole scenario, call by call -----

class Brawl : public DirectorTest {};

// The road of one event: the bartender flees, the eligible men become brawlers whose groups are
// set against each other and are paired off, everybody else is left alone at the step that rules
// them out.
TEST_F(Brawl, EventAtASaloonTurnsTheMenAroundItIntoABrawl) {
  const int row = 0;
  const sim::Ped player = addPlayer(world());
  const sim::Ped bartender =
      addPed(world(), 2, pointAtDistance(row, 2.0f), {.model = bartenderModel(row)});
  const sim::Ped first = addPed(world(), 3, pointAtDistance(row, 5.0f));
  const sim::Ped woman = addPed(world(), 4, pointAtDistance(row, 3.0f), {.male = false});
  const sim::Ped horse = addPed(world(), 5, pointAtDistance(row, 2.5f), {.human = false});
  const sim::Ped outside = addPed(world(), 6, pointAtDistance(row, 30.0f));
  const sim::Ped second = addPed(world(), 7, pointAtDistance(row, 10.0f));
  const sim::Ped visitor =
      addPed(world(), 8, pointAtDistance(row, 4.0f), {.model = bartenderModel(7)});
  const sim::Ped third = addPed(world(), 9, pointAtDistance(row, 15.0f));
  addEvent(world(), kTriggerEvents[2], triggerPoint(row));
  world().forcedRandom = {
      5000, 6000, 7000,  // the three brawlers' groups
      0,    2,           // brawler 0 draws itself, then brawler 2
      0,                 // brawler 1 draws brawler 0
      2,    2,    1,     // brawler 2 draws itself twice, then brawler 1
  };
  start();

  Calls expected = firstScan();
  expected.eventTests(row, 2);
  expected.filter(player, row, FilterEnd::Player);
  expected.filter(bartender, row, FilterEnd::Model).flee(2);
  expected.filter(first, row, FilterEnd::Model).recruit(3, 5000);
  expected.filter(woman, row, FilterEnd::Male);
  expected.filter(horse, row, FilterEnd::Human);
  expected.filter(outside, row, FilterEnd::Distance);
  expected.filter(second, row, FilterEnd::Model).recruit(7, 6000);
  expected.filter(visitor, row, FilterEnd::Model);
  expected.filter(third, row, FilterEnd::Model).recruit(9, 7000);
  expected.relationships({5000, 6000, 7000});
  expected.draw(3).draw(3).fight(3, 9);
  expected.draw(3).fight(7, 3);
  expected.draw(3).draw(3).draw(3).fight(9, 7);
  expected.quietRows(1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));

  // What the game was left with.
  const std::uint32_t unarmed = sim::hashOfName("WEAPON_UNARMED");
  EXPECT_EQ(world().findPed(2)->effects.fleeingFrom, kPlayer);
  EXPECT_FALSE(world().findPed(2)->effects.weaponsRemoved);
  struct Brawler {
    std::int32_t handle;
    std::uint32_t group;
    std::int32_t target;
  };
  for (const Brawler& b : {Brawler{3, 5000, 9}, Brawler{7, 6000, 3}, Brawler{9, 7000, 7}}) {
    const sim::PedEffects& effects = world().findPed(b.handle)->effects;
    EXPECT_TRUE(effects.weaponsRemoved) << b.handle;
    EXPECT_EQ(effects.equippedWeapon, unarmed) << b.handle;
    EXPECT_EQ(effects.combatAttributes, (std::vector<int>{5, 46, 96, 50, 58, 93})) << b.handle;
    EXPECT_EQ(effects.relationshipGroup, b.group) << b.handle;
    EXPECT_EQ(effects.fightTarget, b.target) << b.handle;
  }
  for (const std::int32_t untouched : {4, 5, 6, 8}) {
    const sim::PedEffects& effects = world().findPed(untouched)->effects;
    EXPECT_FALSE(effects.weaponsRemoved || effects.fleeingFrom || effects.relationshipGroup)
        << untouched;
  }
  EXPECT_EQ(world().groupRelationships.size(), 6u);
}

// ----- the ped filter -----

class Recruitment : public DirectorTest {
 protected:
  // The calls of a first-tick scan in which only `row` is hit, by the first event type, and
  // `brawl` is what its startBrawl does after sorting the player.
  Calls scanWithHitAt(int row, const Calls& brawl) {
    Calls calls = firstScan();
    calls.quietRows(0, row - 1).eventTests(row, 0);
    calls.filter(*world().findPed(kPlayer), row, FilterEnd::Player).append(brawl);
    return calls.quietRows(row + 1, 12).wait();
  }
};

TEST_F(Recruitment, FilterStopsAtTheFirstStepThatRulesThePedOut) {
  const int row = 2;
  struct Case {
    const char* what;
    PedTraits traits;
    float distance;
    bool vanishes;  // gone between the snapshot and its sorting
    FilterEnd end;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"gone since the snapshot", {}, 1.0f, true, FilterEnd::Exists},
      {"not human", {.human = false}, 1.0f, false, FilterEnd::Human},
      {"female", {.male = false}, 1.0f, false, FilterEnd::Male},
      {"female and not human", {.male = false, .human = false}, 1.0f, false, FilterEnd::Human},
      {"beyond 20 m", {}, 20.5f, false, FilterEnd::Distance},
      {"at a distance that is not a number", {}, nan, false, FilterEnd::Distance},
      {"female beyond 20 m", {.male = false}, 50.0f, false, FilterEnd::Male},
      {"another saloon's bartender", {.model = bartenderModel(9)}, 1.0f, false, FilterEnd::Model},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restart();
    addPlayer(world());
    const sim::Vec3 at =
        std::isnan(c.distance) ? sim::Vec3{nan, nan, nan} : pointAtDistance(row, c.distance);
    const sim::Ped ped = addPed(world(), 2, at, c.traits);
    addEvent(world(), kTriggerEvents[0], triggerPoint(row));
    if (c.vanishes) {
      world().afterNative = [](sim::World& w, const sim::Call& call) {
        if (call.hash == isEventInSphere.hash && call.results.at(0) == 1) {
          w.findPed(2)->exists = false;
        }
      };
    }
    start();
    Calls brawl;
    brawl.filter(ped, row, c.end);
    EXPECT_TRUE(SameCalls(tick(), scanWithHitAt(row, brawl)));
    EXPECT_FALSE(world().findPed(2)->effects.weaponsRemoved);
  }
}

TEST_F(Recruitment, ThePlayerIsNeverRecruitedEvenInsideTheSaloon) {
  const int row = 8;
  sim::Ped player;
  player.handle = 5;
  player.player = true;
  player.position = triggerPoint(row);
  world().addPed(player);
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  start();
  Calls expected = firstScan(5);
  expected.quietRows(0, row - 1).eventTests(row, 0).filter(player, row, FilterEnd::Player);
  expected.quietRows(row + 1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

TEST_F(Recruitment, PedAtExactlyTwentyMetresIsInAndTheNextFloatBeyondIsOut) {
  const int row = 9;  // its small z lets a float offset land exactly
  struct Case {
    float distance;
    bool recruited;
  };
  const Case cases[] = {{20.0f, true},
                        {std::nextafter(20.0f, 21.0f), false},
                        {std::nextafter(20.0f, 19.0f), true},
                        {0.0f, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.distance << " m");
    restart();
    addPlayer(world());
    const sim::Ped ped = addPed(world(), 2, pointAtDistance(row, c.distance));
    addEvent(world(), kTriggerEvents[0], triggerPoint(row));
    world().forcedRandom = {60000};
    start();
    Calls brawl;
    if (c.recruited) {
      brawl.filter(ped, row, FilterEnd::Model).recruit(2, 60000);
      for (int i = 0; i < 5; ++i) brawl.draw(1);
    } else {
      brawl.filter(ped, row, FilterEnd::Distance);
    }
    const std::vector<sim::Call> calls = tick();
    EXPECT_TRUE(SameCalls(calls, scanWithHitAt(row, brawl)));
    // The game measured exactly the distance the case is about.
    const std::vector<sim::Call> distances = callsOf(calls, distanceBetweenPoints.hash);
    ASSERT_EQ(distances.size(), 1u);
    EXPECT_EQ(static_cast<std::uint32_t>(distances[0].results.at(0)),
              std::bit_cast<std::uint32_t>(c.distance));
  }
}

// ----- the bartender -----

class Bartender : public DirectorTest {};

TEST_F(Bartender, SecondPedOfTheModelIsLeftAlone) {
  const int row = 5;
  addPlayer(world());
  const sim::Ped regular = addPed(world(), 2, pointAtDistance(row, 6.0f));
  const sim::Ped first =
      addPed(world(), 3, pointAtDistance(row, 7.0f), {.model = bartenderModel(row)});
  const sim::Ped second =
      addPed(world(), 4, pointAtDistance(row, 1.0f), {.model = bartenderModel(row)});
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  world().forcedRandom = {9999};
  start();
  Calls expected = firstScan();
  expected.quietRows(0, row - 1).eventTests(row, 0);
  expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
  expected.filter(regular, row, FilterEnd::Model).recruit(2, 9999);
  expected.filter(first, row, FilterEnd::Model).flee(3);
  expected.filter(second, row, FilterEnd::Model);
  for (int i = 0; i < 5; ++i) expected.draw(1);
  expected.quietRows(row + 1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
  EXPECT_FALSE(world().findPed(4)->effects.fleeingFrom.has_value());
}

TEST_F(Bartender, BartendersOfEveryOtherSaloonAreLeftAlone) {
  const int row = 0;
  addPlayer(world());
  std::vector<sim::Ped> visitors;
  for (int other = 1; other < kSaloons; ++other) {
    visitors.push_back(addPed(world(), 10 + other, pointAtDistance(row, static_cast<float>(other)),
                              {.model = bartenderModel(other)}));
  }
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  start();
  Calls expected = firstScan();
  expected.eventTests(row, 0).filter(*world().findPed(kPlayer), row, FilterEnd::Player);
  for (const sim::Ped& visitor : visitors) expected.filter(visitor, row, FilterEnd::Model);
  expected.quietRows(1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

// Valentine2 (row 1) and Emerald Ranch (row 11) share one bartender model; each saloon sends its
// own bartender fleeing.
TEST_F(Bartender, SaloonsSharingAModelEachHandleTheirOwnBartender) {
  ASSERT_EQ(bartenderModel(1), bartenderModel(11));
  addPlayer(world());
  const sim::Ped atValentine =
      addPed(world(), 2, pointAtDistance(1, 3.0f), {.model = bartenderModel(1)});
  const sim::Ped atEmerald =
      addPed(world(), 3, pointAtDistance(11, 3.0f), {.model = bartenderModel(11)});
  addEvent(world(), kTriggerEvents[0], triggerPoint(1));
  addEvent(world(), kTriggerEvents[0], triggerPoint(11));
  start();
  const sim::Ped player = *world().findPed(kPlayer);
  Calls expected = firstScan();
  expected.quietRows(0, 0).eventTests(1, 0).filter(player, 1, FilterEnd::Player);
  expected.filter(atValentine, 1, FilterEnd::Model).flee(2);
  expected.filter(atEmerald, 1, FilterEnd::Distance);
  expected.quietRows(2, 10).eventTests(11, 0).filter(player, 11, FilterEnd::Player);
  expected.filter(atValentine, 11, FilterEnd::Distance);
  expected.filter(atEmerald, 11, FilterEnd::Model).flee(3);
  expected.eventTests(12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

// The flee threat is the player ped, wherever the player stands and whoever set off the event.
TEST_F(Bartender, FleesFromThePlayerWhereverThePlayerIs) {
  const int row = 3;
  sim::Ped player;
  player.handle = 77;
  player.player = true;
  player.position = {-5000.0f, 5000.0f, 0.0f};
  world().addPed(player);
  const sim::Ped bartender = addPed(world(), 2, triggerPoint(row), {.model = bartenderModel(row)});
  addEvent(world(), kTriggerEvents[1], triggerPoint(row));
  start();
  Calls expected = firstScan(77);
  expected.quietRows(0, row - 1).eventTests(row, 1).filter(player, row, FilterEnd::Player);
  expected.filter(bartender, row, FilterEnd::Model).flee(2, 77);
  expected.quietRows(row + 1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
  EXPECT_EQ(world().findPed(2)->effects.fleeingFrom, 77);
}

// ----- women in a brawl -----

class FemaleBrawlers : public DirectorTest {};

TEST_F(FemaleBrawlers, WomenJoinOnlyWithTheSetting) {
  const int row = 6;
  struct Case {
    const char* settings;  // nullptr: no settings file
    bool womenJoin;
  };
  const Case cases[] = {
      {nullptr, false}, {"[Fraywick]\nFemaleBrawlers=0\n", false}, {kFemaleBrawlersOn, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings != nullptr ? c.settings : "no settings file");
    restart();
    if (c.settings != nullptr) writeSettings(c.settings);
    addPlayer(world());
    const sim::Ped man = addPed(world(), 2, pointAtDistance(row, 1.0f));
    const sim::Ped woman = addPed(world(), 3, pointAtDistance(row, 2.0f), {.male = false});
    addEvent(world(), kTriggerEvents[0], triggerPoint(row));
    Calls expected = firstScan();
    expected.quietRows(0, row - 1).eventTests(row, 0);
    expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
    if (c.womenJoin) {
      // Once women may join, nobody is asked about gender.
      world().forcedRandom = {5001, 6001, 1, 0};
      expected.filter(man, row, FilterEnd::Model, false).recruit(2, 5001);
      expected.filter(woman, row, FilterEnd::Model, false).recruit(3, 6001);
      expected.relationships({5001, 6001}).draw(2).fight(2, 3).draw(2).fight(3, 2);
    } else {
      world().forcedRandom = {5001};  // the lone brawler's draws then give 0: itself
      expected.filter(man, row, FilterEnd::Model).recruit(2, 5001);
      expected.filter(woman, row, FilterEnd::Male);
      for (int i = 0; i < 5; ++i) expected.draw(1);
    }
    expected.quietRows(row + 1, 12).wait();
    start();
    EXPECT_TRUE(SameCalls(tick(), expected));
    EXPECT_EQ(world().findPed(3)->effects.relationshipGroup.has_value(), c.womenJoin);
  }
}

// Van Horn's bartender is a woman: without the setting she fails the gender step before the
// bartender step, so she neither flees nor brawls.
TEST_F(FemaleBrawlers, VanHornsBartenderFleesOnlyWithTheSetting) {
  const int row = 4;
  for (const bool womenJoin : {false, true}) {
    SCOPED_TRACE(womenJoin ? "female brawlers on" : "female brawlers off");
    restart();
    if (womenJoin) writeSettings(kFemaleBrawlersOn);
    addPlayer(world());
    const sim::Ped bartender = addPed(world(), 2, pointAtDistance(row, 5.0f),
                                      {.model = bartenderModel(row), .male = false});
    addEvent(world(), kTriggerEvents[3], triggerPoint(row));
    start();
    Calls expected = firstScan();
    expected.quietRows(0, row - 1).eventTests(row, 3);
    expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
    if (womenJoin) {
      expected.filter(bartender, row, FilterEnd::Model, false).flee(2);
    } else {
      expected.filter(bartender, row, FilterEnd::Male);
    }
    expected.quietRows(row + 1, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), expected));
    EXPECT_EQ(world().findPed(2)->effects.fleeingFrom.has_value(), womenJoin);
  }
}

}  // namespace
}  // namespace fraywick::testing
