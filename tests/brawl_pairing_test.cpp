// After the peds are sorted: every brawler group's relationship to every other one is set to
// level 5, and each brawler gets up to five draws for an opponent other than itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/director_support.h"

namespace fraywick::testing {
namespace {

constexpr int kRow = 7;

// Adds `count` brawlers near row kRow (handles 2, 3, ...) after the player and an event there,
// and loads the plug-in. `random` answers the group draws first, then the opponent draws.
class BrawlerSetup : public DirectorTest {
 protected:
  std::vector<sim::Ped> setUpBrawlers(int count, std::vector<std::int32_t> random) {
    addPlayer(world());
    std::vector<sim::Ped> brawlers;
    for (int i = 0; i < count; ++i) {
      brawlers.push_back(
          addPed(world(), 2 + i, pointAtDistance(kRow, 1.0f + static_cast<float>(i))));
    }
    addEvent(world(), kTriggerEvents[0], triggerPoint(kRow));
    world().forcedRandom.assign(random.begin(), random.end());
    start();
    return brawlers;
  }

  // The scan up to the last recruit; the caller adds relationships and pairing, then closes it.
  Calls recruited(const std::vector<sim::Ped>& brawlers, const std::vector<std::uint32_t>& groups) {
    Calls calls = firstScan();
    calls.quietRows(0, kRow - 1).eventTests(kRow, 0);
    calls.filter(*world().findPed(kPlayer), kRow, FilterEnd::Player);
    for (std::size_t i = 0; i < brawlers.size(); ++i) {
      calls.filter(brawlers[i], kRow, FilterEnd::Model).recruit(brawlers[i].handle, groups[i]);
    }
    return calls;
  }

  static Calls& close(Calls& calls) { return calls.quietRows(kRow + 1, 12).wait(); }
};

// ----- the relationships between brawler groups -----

class GroupRelationships : public BrawlerSetup {};

TEST_F(GroupRelationships, EveryOrderedPairOfGroupsIsSetToLevel5OrderedByFirstThenSecond) {
  for (const int n : {2, 3, 4, 6}) {
    SCOPED_TRACE(::testing::Message() << n << " brawlers");
    restart();
    std::vector<std::uint32_t> groups;
    std::vector<std::int32_t> random;
    for (int i = 0; i < n; ++i) {
      groups.push_back(static_cast<std::uint32_t>(10000 + 111 * i));
      random.push_back(10000 + 111 * i);
    }
    for (int k = 0; k < n; ++k) random.push_back((k + 1) % n);  // each fights the next
    const std::vector<sim::Ped> brawlers = setUpBrawlers(n, random);

    Calls expected = recruited(brawlers, groups);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        if (i != j) {
          expected.native(setGroupRelationship.hash, {I(5), H(groups[static_cast<std::size_t>(i)]),
                                                      H(groups[static_cast<std::size_t>(j)])});
        }
      }
    }
    for (int k = 0; k < n; ++k) expected.draw(n).fight(2 + k, 2 + (k + 1) % n);
    EXPECT_TRUE(SameCalls(tick(), close(expected)));
    EXPECT_EQ(world().countNative(setGroupRelationship.hash),
              static_cast<std::size_t>(n * (n - 1)));
  }
}

TEST_F(GroupRelationships, BrawlersDrawingTheSameGroupSetItsLevelToItself) {
  const std::vector<sim::Ped> brawlers = setUpBrawlers(2, {4242, 4242, 1, 0});
  Calls expected = recruited(brawlers, {4242, 4242});
  expected.native(setGroupRelationship.hash, {I(5), H(4242), H(4242)});
  expected.native(setGroupRelationship.hash, {I(5), H(4242), H(4242)});
  expected.draw(2).fight(2, 3).draw(2).fight(3, 2);
  EXPECT_TRUE(SameCalls(tick(), close(expected)));
  const std::pair<std::uint32_t, std::uint32_t> self{4242, 4242};
  ASSERT_EQ(world().groupRelationships.count(self), 1u);
  EXPECT_EQ(world().groupRelationships.at(self), 5);
}

TEST_F(GroupRelationships, GroupHashesAreUsedExactlyAsDrawn) {
  // The extremes of the draw's range, and one with no bit in common with its neighbours.
  const std::vector<sim::Ped> brawlers = setUpBrawlers(3, {4096, 65534, 0x5555, 1, 2, 0});
  Calls expected = recruited(brawlers, {4096, 65534, 0x5555});
  expected.relationships({4096, 65534, 0x5555});
  expected.draw(3).fight(2, 3).draw(3).fight(3, 4).draw(3).fight(4, 2);
  EXPECT_TRUE(SameCalls(tick(), close(expected)));
}

// ----- fight pairing -----

class Pairing : public BrawlerSetup {};

TEST_F(Pairing, LoneBrawlerDrawsItselfFiveTimesAndFightsNobody) {
  // Only the group is forced: the game's draw between 0 and 1 can only give 0.
  const std::vector<sim::Ped> brawlers = setUpBrawlers(1, {12345});
  Calls expected = recruited(brawlers, {12345});
  for (int i = 0; i < 5; ++i) expected.draw(1);
  EXPECT_TRUE(SameCalls(tick(), close(expected)));
  const sim::PedEffects& effects = world().findPed(2)->effects;
  EXPECT_TRUE(effects.weaponsRemoved);
  EXPECT_EQ(effects.relationshipGroup, 12345u);
  EXPECT_FALSE(effects.fightTarget.has_value());
  EXPECT_TRUE(world().groupRelationships.empty());
}

TEST_F(Pairing, EachBrawlerDrawsUntilTheFirstDrawThatIsNotItself) {
  struct Case {
    const char* what;
    std::vector<std::int32_t> draws;  // one brawler's draws, as the game gives them
    int target;                       // -1: no fight task
  };
  // Three brawlers; each case scripts brawler 1 (the middle one), the others find an opponent
  // at their first draw.
  const Case cases[] = {
      {"first draw", {2}, 2},
      {"second draw", {1, 0}, 0},
      {"fifth draw", {1, 1, 1, 1, 2}, 2},
      {"five draws of itself", {1, 1, 1, 1, 1}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restart();
    std::vector<std::int32_t> random = {7001, 7002, 7003, 2};
    random.insert(random.end(), c.draws.begin(), c.draws.end());
    random.push_back(1);
    const std::vector<sim::Ped> brawlers = setUpBrawlers(3, random);

    Calls expected = recruited(brawlers, {7001, 7002, 7003});
    expected.relationships({7001, 7002, 7003});
    expected.draw(3).fight(2, 4);
    for (std::size_t i = 0; i < c.draws.size(); ++i) expected.draw(3);
    if (c.target >= 0) expected.fight(3, 2 + c.target);
    expected.draw(3).fight(4, 3);
    EXPECT_TRUE(SameCalls(tick(), close(expected)));
    EXPECT_EQ(world().findPed(3)->effects.fightTarget.has_value(), c.target >= 0);
  }
}

TEST_F(Pairing, TargetsNeedNotBeMutual) {
  const std::vector<sim::Ped> brawlers =
      setUpBrawlers(3, {100 + 4096, 200 + 4096, 300 + 4096, 2, 2, 0});
  Calls expected = recruited(brawlers, {4196, 4296, 4396});
  expected.relationships({4196, 4296, 4396});
  expected.draw(3).fight(2, 4).draw(3).fight(3, 4).draw(3).fight(4, 2);
  EXPECT_TRUE(SameCalls(tick(), close(expected)));
  EXPECT_EQ(world().findPed(2)->effects.fightTarget, 4);
  EXPECT_EQ(world().findPed(3)->effects.fightTarget, 4);
  EXPECT_EQ(world().findPed(4)->effects.fightTarget, 2);
}

}  // namespace
}  // namespace fraywick::testing
