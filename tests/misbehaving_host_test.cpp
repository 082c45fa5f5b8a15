// A host that breaks its promises (a ped count outside the snapshot, an opponent draw outside the
// brawlers) must not send the director out of bounds; and the heaviest frame the director can
// make, counted call by call.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "support/director_support.h"

namespace fraywick::testing {
namespace {

class MisbehavingHost : public DirectorTest {};

TEST_F(MisbehavingHost, PedCountAbove256IsTakenAs256) {
  const int row = 0;
  // 300 peds in the world, none of them human, so each is sorted out at the third step; the
  // player comes last and so is not in the snapshot.
  std::vector<sim::Ped> peds;
  for (int i = 0; i < 300; ++i) {
    peds.push_back(addPed(world(), 100 + i, pointAtDistance(row, 1.0f), {.human = false}));
  }
  addPlayer(world());
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  world().forcedPedCount = 300;
  start();
  Calls expected = firstScan();
  expected.eventTests(row, 0);
  for (std::size_t i = 0; i < 256; ++i) expected.filter(peds[i], row, FilterEnd::Human);
  expected.quietRows(1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

TEST_F(MisbehavingHost, PedCountOfZeroOrLessGivesNoPedsButTheSaloonStillStarts) {
  const int row = 11;
  for (const std::int32_t count : {0, -1, -5, std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE(::testing::Message() << "count " << count);
    restart();
    world().clockStepMs = 0;
    addPlayer(world());
    addPed(world(), 2, pointAtDistance(row, 1.0f));
    addEvent(world(), kTriggerEvents[0], triggerPoint(row));
    world().forcedPedCount = count;
    start();
    Calls first = firstScan();
    first.quietRows(0, row - 1).eventTests(row, 0).quietRows(row + 1, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), first));
    world().clockMs += 1000;
    Calls later = laterScan();
    later.quietRows(0, row - 1).quietRows(row + 1, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), later)) << "the saloon has started";
  }
}

TEST_F(MisbehavingHost, PedCountBelowTheFilledEntriesLimitsTheSnapshot) {
  const int row = 1;
  addPlayer(world());
  const sim::Ped counted = addPed(world(), 2, pointAtDistance(row, 1.0f));
  addPed(world(), 3, pointAtDistance(row, 2.0f));
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  world().forcedPedCount = 2;
  world().forcedRandom = {8000};
  start();
  Calls expected = firstScan();
  expected.eventTests(0).eventTests(row, 0);
  expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
  expected.filter(counted, row, FilterEnd::Model).recruit(2, 8000);
  for (int i = 0; i < 5; ++i) expected.draw(1);
  expected.quietRows(2, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
  EXPECT_FALSE(world().findPed(3)->effects.weaponsRemoved);
}

TEST_F(MisbehavingHost, OpponentDrawOutsideTheBrawlersUsesUpATry) {
  const int row = 2;
  addPlayer(world());
  const sim::Ped first = addPed(world(), 2, pointAtDistance(row, 1.0f));
  const sim::Ped second = addPed(world(), 3, pointAtDistance(row, 2.0f));
  addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  const std::int32_t highest = std::numeric_limits<std::int32_t>::max();
  world().forcedRandom = {
      5000, 5001,                    // groups
      2,    -1,      1,              // brawler 0: N, then negative, then brawler 1
      2,    highest, -7, lowest, 1,  // brawler 1: four out of range, then itself
  };
  start();
  Calls expected = firstScan();
  expected.quietRows(0, row - 1).eventTests(row, 0);
  expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
  expected.filter(first, row, FilterEnd::Model).recruit(2, 5000);
  expected.filter(second, row, FilterEnd::Model).recruit(3, 5001);
  expected.relationships({5000, 5001});
  expected.draw(2).draw(2).draw(2).fight(2, 3);
  for (int i = 0; i < 5; ++i) expected.draw(2);
  expected.quietRows(row + 1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
  EXPECT_FALSE(world().findPed(3)->effects.fightTarget.has_value());
}

// ----- the heaviest frame -----

class WorstFrame : public DirectorTest {
 protected:
  static constexpr std::size_t kN = 256;

  // 256 eligible men at `row`, the player outside the snapshot, the last event type at every
  // saloon in `hitRows`, and draws that make every brawler use four tries before it finds its
  // neighbour: the most calls pairing can make.
  std::vector<sim::Ped> setUpCrowd(int row, const std::vector<int>& hitRows) {
    std::vector<sim::Ped> crowd;
    const sim::Vec3 centre = triggerPoint(row);
    for (std::size_t i = 0; i < kN; ++i) {
      const sim::Vec3 at{centre.x + 0.5f * static_cast<float>(i % 16),
                         centre.y + 0.5f * static_cast<float>(i / 16), centre.z};
      crowd.push_back(addPed(world(), static_cast<std::int32_t>(1000 + i), at));
    }
    addPlayer(world());
    for (const int hit : hitRows) addEvent(world(), kTriggerEvents[4], triggerPoint(hit));
    for (std::size_t i = 0; i < kN; ++i) {
      world().forcedRandom.push_back(static_cast<std::int32_t>(4096 + i));
    }
    for (std::size_t k = 0; k < kN; ++k) {
      for (int miss = 0; miss < 4; ++miss) world().forcedRandom.push_back(static_cast<int>(k));
      world().forcedRandom.push_back(static_cast<std::int32_t>((k + 1) % kN));
    }
    start();
    return crowd;
  }

  // What the brawl at `row` does, after the scan found it.
  static Calls brawlAt(int row, const std::vector<sim::Ped>& crowd) {
    Calls calls;
    std::vector<std::uint32_t> groups;
    for (std::size_t i = 0; i < kN; ++i) {
      groups.push_back(static_cast<std::uint32_t>(4096 + i));
      calls.filter(crowd[i], row, FilterEnd::Model).recruit(crowd[i].handle, groups.back());
    }
    calls.relationships(groups);
    for (std::size_t k = 0; k < kN; ++k) {
      for (int i = 0; i < 5; ++i) calls.draw(static_cast<int>(kN));
      calls.fight(crowd[k].handle, crowd[(k + 1) % kN].handle);
    }
    return calls;
  }

  // The world holds just this tick's calls; counting there spares copying 70 000 of them.
  std::size_t count(std::uint64_t hash) { return world().countNative(hash); }
  std::size_t nativeCount() { return world().countKind(sim::CallKind::Native); }
};

TEST_F(WorstFrame, TwoHundredFiftySixBrawlersAtOneSaloon) {
  const int row = 12;
  const std::vector<sim::Ped> crowd = setUpCrowd(row, {row});
  Calls expected = firstScan();
  expected.quietRows(0, 11).eventTests(row, 4).append(brawlAt(row, crowd)).wait();
  const std::vector<sim::Call> calls = tick();
  EXPECT_TRUE(SameCalls(calls, expected));

  // The frame's cost, term by term: the loop's guard query; the table fill and the bartender
  // set; the player check; five event tests at each of 13 saloons; per ped 7 filter calls and 11
  // to recruit; N(N-1) relationships; per brawler 5 draws and one fight.
  const std::size_t n = kN;
  const std::size_t loop = 1, names = 9 + 9, player = 2, events = 13 * 5;
  const std::size_t filter = 7 * n, recruit = 11 * n, relationships = n * (n - 1), draws = 5 * n,
                    fights = n;
  EXPECT_EQ(count(queryByName.hash), loop);
  EXPECT_EQ(count(hashOfName.hash), names + n);
  EXPECT_EQ(count(isEventInSphere.hash), events);
  EXPECT_EQ(count(entityExists.hash), 1 + n);
  EXPECT_EQ(count(setConfigFlag.hash), 6 * n);
  EXPECT_EQ(count(randomInRange.hash), n + draws);
  EXPECT_EQ(count(setGroupRelationship.hash), relationships);
  EXPECT_EQ(count(fightPed.hash), fights);
  const std::size_t total =
      loop + names + player + events + filter + recruit + relationships + draws + fights;
  EXPECT_EQ(nativeCount(), total);  // 71510
  EXPECT_EQ(world().countKind(sim::CallKind::WorldGetAllPeds), 1u);
}

// Every saloon hit in the same frame: each of the other twelve sorts the whole crowd up to the
// distance step before the crowd's own saloon recruits it.
TEST_F(WorstFrame, EverySaloonHitWithTheCrowdAtTheLast) {
  const int row = 12;
  std::vector<int> everyRow;
  for (int r = 0; r < kSaloons; ++r) everyRow.push_back(r);
  const std::vector<sim::Ped> crowd = setUpCrowd(row, everyRow);
  Calls expected = firstScan();
  for (int r = 0; r < row; ++r) {
    expected.eventTests(r, 4);
    for (const sim::Ped& ped : crowd) expected.filter(ped, r, FilterEnd::Distance);
  }
  expected.eventTests(row, 4).append(brawlAt(row, crowd)).wait();
  const std::vector<sim::Call> calls = tick();
  EXPECT_TRUE(SameCalls(calls, expected));

  const std::size_t n = kN;
  const std::size_t single = 1 + 18 + 2 + 65 + 7 * n + 11 * n + n * (n - 1) + 5 * n + n;
  const std::size_t elsewhere = 12 * 6 * n;      // exists, player, human, male, position, distance
  EXPECT_EQ(nativeCount(), single + elsewhere);  // 89942
}

}  // namespace
}  // namespace fraywick::testing
