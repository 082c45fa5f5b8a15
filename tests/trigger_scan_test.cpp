// The once-a-second scan: the time gate on the low 32 bits of the tick count, the player check,
// the one snapshot per scan, the five event tests per saloon, and the saloons' once-only flags;
// plus the guard query that keeps the whole director out of a tick.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/director_support.h"

namespace fraywick::testing {
namespace {

constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;

Calls gateOnly() {
  Calls calls;
  return calls.guard().bartenderSet().wait();
}

Calls quietLaterScan() {
  return laterScan().quietRows(0, 12).wait();
}

// ----- the time gate -----

class Gate : public DirectorTest {
 protected:
  void SetUp() override {
    DirectorTest::SetUp();
    world().clockStepMs = 0;  // each test sets the clock itself
  }
};

TEST_F(Gate, FirstPassScansOnlyOnceTheLow32BitsReachOneSecond) {
  struct Case {
    std::uint64_t clock;
    bool scans;
  };
  const Case cases[] = {
      {0, false},         {999, false},          {1000, true},
      {10'000'000, true}, {kWrap + 999, false},  {kWrap + 1000, true},
      {7 * kWrap, false}, {7 * kWrap - 1, true}, {kWrap - 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "clock " << c.clock);
    restart();
    world().clockStepMs = 0;
    world().clockMs = c.clock;
    addPlayer(world());
    start();
    Calls expected;
    if (c.scans) {
      expected = firstScan().quietRows(0, 12).wait();
    } else {
      expected.guard().tableFill().bartenderSet().wait();
    }
    EXPECT_TRUE(SameCalls(tick(), expected));
  }
}

TEST_F(Gate, ScansAgainAfterExactlyOneSecond) {
  addPlayer(world());
  const std::uint64_t start = 5'000'000;
  world().clockMs = start;
  this->start();
  EXPECT_TRUE(SameCalls(tick(), firstScan().quietRows(0, 12).wait()));
  struct Step {
    std::uint64_t clock;
    bool scans;
  };
  // Each interval is measured from the previous scan.
  const Step steps[] = {{start + 1, false},    {start + 999, false},  {start + 1000, true},
                        {start + 1999, false}, {start + 2000, true},  {start + 2999, false},
                        {start + 3500, true},  {start + 4499, false}, {start + 4500, true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::Message() << "at +" << step.clock - start << " ms");
    world().clockMs = step.clock;
    EXPECT_TRUE(SameCalls(tick(), step.scans ? quietLaterScan() : gateOnly()));
  }
}

TEST_F(Gate, ElapsedTimeIsCountedAcrossTheWrapOfTheLow32Bits) {
  struct Pass {
    std::int64_t at;  // ms from the wrap
    bool scans;
  };
  struct Case {
    const char* what;
    std::int64_t scanAt;  // the previous scan, ms from the wrap
    std::vector<Pass> passes;
  };
  const Case cases[] = {
      {"scan 256 ms below: 1000 ms later is 744 ms past", -256, {{743, false}, {744, true}}},
      {"scan 500 ms below: not again 100 ms later",
       -500,
       {{-400, false}, {499, false}, {500, true}}},
      {"scan 2 s below: again right past the wrap", -2000, {{-1001, false}, {100, true}}},
  };
  for (const Case& c : cases) {
    for (const std::uint64_t wrap : {kWrap, 2 * kWrap, 1000 * kWrap}) {
      SCOPED_TRACE(::testing::Message() << c.what << ", wrap at " << wrap);
      restart();
      world().clockStepMs = 0;
      addPlayer(world());
      world().clockMs = wrap + c.scanAt;
      start();
      EXPECT_TRUE(SameCalls(tick(), firstScan().quietRows(0, 12).wait()));
      for (const Pass& pass : c.passes) {
        world().clockMs = wrap + pass.at;
        EXPECT_TRUE(SameCalls(tick(), pass.scans ? quietLaterScan() : gateOnly()))
            << pass.at << " ms from the wrap";
      }
    }
  }
}

TEST_F(Gate, ScanWithoutAPlayerStillRestartsTheInterval) {
  struct Case {
    const char* what;
    bool pedPresent;
    std::int32_t checkedHandle;  // what playerPed answers, and entityExists is asked about
  };
  const Case cases[] = {{"no player ped at all", false, 0},
                        {"a player ped that does not exist", true, kPlayer}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restart();
    world().clockStepMs = 0;
    const std::uint64_t start = 3'000'000;
    world().clockMs = start;
    if (c.pedPresent) {
      addPlayer(world());
      world().findPed(kPlayer)->exists = false;
    }
    // An event at a saloon shows that no saloon is examined while the player is missing.
    addEvent(world(), kTriggerEvents[0], triggerPoint(0));
    this->start();

    Calls missing;
    missing.guard().tableFill().bartenderSet().playerCheck(c.checkedHandle).wait();
    EXPECT_TRUE(SameCalls(tick(), missing));

    // The player appears, but the interval restarted at the failed scan.
    if (c.pedPresent) {
      world().findPed(kPlayer)->exists = true;
    } else {
      addPlayer(world());
    }
    world().clockMs = start + 999;
    EXPECT_TRUE(SameCalls(tick(), gateOnly()));

    world().clockMs = start + 1000;
    Calls scan = laterScan();
    scan.eventTests(0, 0).filter(*world().findPed(kPlayer), 0, FilterEnd::Player);
    scan.quietRows(1, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), scan));
  }
}

TEST_F(Gate, PassesThatEndAtTheGateStillHashTheNineNames) {
  addPlayer(world());
  world().clockMs = 500;  // the first pass is held at the gate too
  start();
  Calls first;
  first.guard().tableFill().bartenderSet().wait();
  EXPECT_TRUE(SameCalls(tick(), first));
  for (const std::uint64_t clock : {501u, 600u, 999u}) {
    world().clockMs = clock;
    EXPECT_TRUE(SameCalls(tick(), gateOnly())) << "clock " << clock;
  }
}

// ----- the scan -----

class Scan : public DirectorTest {};

TEST_F(Scan, StartedSaloonIsNeverAskedAgain) {
  world().clockStepMs = 0;
  addPlayer(world());
  addEvent(world(), kTriggerEvents[1], triggerPoint(6));
  start();
  Calls first = firstScan();
  first.quietRows(0, 5).eventTests(6, 1).filter(*world().findPed(kPlayer), 6, FilterEnd::Player);
  first.quietRows(7, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), first));

  // The event is still there, but row 6 is left out of every later scan.
  for (int scan = 1; scan <= 3; ++scan) {
    world().clockMs += 1000;
    Calls later = laterScan();
    later.quietRows(0, 5).quietRows(7, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), later)) << "scan " << scan;
  }
}

TEST_F(Scan, HitWithoutAnEligiblePedStillMarksTheSaloon) {
  world().clockStepMs = 0;
  addPlayer(world());
  const sim::Ped animal = addPed(world(), 2, pointAtDistance(0, 2.0f), {.human = false});
  const sim::Ped woman = addPed(world(), 3, pointAtDistance(0, 3.0f), {.male = false});
  addEvent(world(), kTriggerEvents[4], triggerPoint(0));
  start();

  Calls first = firstScan();
  first.eventTests(0, 4).filter(*world().findPed(kPlayer), 0, FilterEnd::Player);
  first.filter(animal, 0, FilterEnd::Human).filter(woman, 0, FilterEnd::Male);
  first.quietRows(1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), first));

  world().clockMs += 1000;
  EXPECT_TRUE(SameCalls(tick(), laterScan().quietRows(1, 12).wait()));
}

TEST_F(Scan, TwoSaloonsHitInOneScanBrawlInRowOrderOnOneSnapshot) {
  addPlayer(world());
  const sim::Ped atBlackwater = addPed(world(), 2, pointAtDistance(7, 4.0f));
  const sim::Ped atAnnesburg = addPed(world(), 3, pointAtDistance(3, 6.0f));
  addEvent(world(), kTriggerEvents[2], triggerPoint(7));
  addEvent(world(), kTriggerEvents[0], triggerPoint(3));
  // Annesburg brawls first: its one brawler's group, then its five draws; then Blackwater's.
  world().forcedRandom = {40000, 0, 0, 0, 0, 0, 50000, 0, 0, 0, 0, 0};
  start();

  const sim::Ped player = *world().findPed(kPlayer);
  Calls expected = firstScan();
  expected.quietRows(0, 2).eventTests(3, 0);
  expected.filter(player, 3, FilterEnd::Player).filter(atBlackwater, 3, FilterEnd::Distance);
  expected.filter(atAnnesburg, 3, FilterEnd::Model).recruit(3, 40000);
  for (int i = 0; i < 5; ++i) expected.draw(1);
  expected.quietRows(4, 6).eventTests(7, 2);
  expected.filter(player, 7, FilterEnd::Player).filter(atBlackwater, 7, FilterEnd::Model);
  expected.recruit(2, 50000).filter(atAnnesburg, 7, FilterEnd::Distance);
  for (int i = 0; i < 5; ++i) expected.draw(1);
  expected.quietRows(8, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

// Each type is also the game's hash of the event name the code gives it.
TEST_F(Scan, EachOfTheFiveEventTypesStartsABrawl) {
  for (int type = 0; type < 5; ++type) {
    const char* name = kTriggerEventNames[static_cast<std::size_t>(type)];
    SCOPED_TRACE(name);
    EXPECT_EQ(kTriggerEvents[static_cast<std::size_t>(type)], sim::hashOfName(name));
    restart();
    addPlayer(world());
    const sim::Ped brawler = addPed(world(), 2, pointAtDistance(5, 1.0f));
    addEvent(world(), kTriggerEvents[static_cast<std::size_t>(type)], triggerPoint(5));
    world().forcedRandom = {4096};
    start();
    Calls expected = firstScan();
    expected.quietRows(0, 4).eventTests(5, type);
    expected.filter(*world().findPed(kPlayer), 5, FilterEnd::Player);
    expected.filter(brawler, 5, FilterEnd::Model).recruit(2, 4096);
    for (int i = 0; i < 5; ++i) expected.draw(1);
    expected.quietRows(6, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), expected));
  }
}

TEST_F(Scan, FirstEventTypeThatAnswersEndsTheTestsOfThatSaloon) {
  addPlayer(world());
  for (const std::uint32_t type : kTriggerEvents) addEvent(world(), type, triggerPoint(12));
  addEvent(world(), kTriggerEvents[3], triggerPoint(10));
  addEvent(world(), kTriggerEvents[4], triggerPoint(10));
  start();
  const sim::Ped player = *world().findPed(kPlayer);
  Calls expected = firstScan();
  expected.quietRows(0, 9).eventTests(10, 3).filter(player, 10, FilterEnd::Player);
  expected.eventTests(11).eventTests(12, 0).filter(player, 12, FilterEnd::Player).wait();
  EXPECT_TRUE(SameCalls(tick(), expected));
}

TEST_F(Scan, EventRadiusIsEightMetres) {
  struct Case {
    float distance;
    bool hits;
  };
  const Case cases[] = {{8.0f, true},
                        {std::nextafter(8.0f, 9.0f), false},
                        {7.5f, true},
                        {std::nextafter(8.0f, 7.0f), true},
                        {9.0f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "event at " << c.distance << " m");
    restart();
    addPlayer(world());
    addEvent(world(), kTriggerEvents[0], pointAtDistance(9, c.distance));
    start();
    Calls expected = firstScan();
    expected.quietRows(0, 8);
    if (c.hits) {
      expected.eventTests(9, 0).filter(*world().findPed(kPlayer), 9, FilterEnd::Player);
    } else {
      expected.eventTests(9);
    }
    expected.quietRows(10, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), expected));
  }
}

TEST_F(Scan, SnapshotIsTakenEvenWhenEverySaloonHasStarted) {
  world().clockStepMs = 0;
  addPlayer(world());
  for (int row = 0; row < kSaloons; ++row) addEvent(world(), kTriggerEvents[0], triggerPoint(row));
  start();
  Calls first = firstScan();
  for (int row = 0; row < kSaloons; ++row) {
    first.eventTests(row, 0).filter(*world().findPed(kPlayer), row, FilterEnd::Player);
  }
  EXPECT_TRUE(SameCalls(tick(), first.wait()));

  world().clockMs += 1000;
  EXPECT_TRUE(SameCalls(tick(), laterScan().wait()));
}

// ----- the guard -----

class Guard : public DirectorTest {};

TEST_F(Guard, HeldOffPassesLeaveEveryDirectorStateUntouched) {
  const std::uint64_t start = world().clockMs;
  world().clockStepMs = 100;
  world().guard = {{0, start + 1500, 1}};
  addPlayer(world());
  const sim::Ped brawler = addPed(world(), 2, pointAtDistance(0, 2.0f));
  addEvent(world(), kTriggerEvents[0], triggerPoint(0));
  world().forcedRandom = {30000};
  this->start();

  // 1.5 s of held-off passes: the guard query and the wait, nothing of the director.
  for (int pass = 0; pass < 15; ++pass) {
    Calls held;
    held.guard().wait();
    ASSERT_TRUE(SameCalls(tick(), held)) << "pass " << pass;
  }
  // The first pass after the guard clears is a first pass: it fills the table, scans at once
  // and finds the saloon not yet started.
  Calls first = firstScan();
  first.eventTests(0, 0).filter(*world().findPed(kPlayer), 0, FilterEnd::Player);
  first.filter(brawler, 0, FilterEnd::Model).recruit(2, 30000);
  for (int i = 0; i < 5; ++i) first.draw(1);
  first.quietRows(1, 12).wait();
  EXPECT_TRUE(SameCalls(tick(), first));
}

TEST_F(Guard, HeldOffPassesDoNotRestartTheInterval) {
  world().clockStepMs = 0;
  const std::uint64_t start = 2'000'000;
  world().clockMs = start;
  world().guard = {{start + 1, start + 600, -1}, {start + 1000, start + 1001, 7}};
  addPlayer(world());
  this->start();
  EXPECT_TRUE(SameCalls(tick(), firstScan().quietRows(0, 12).wait()));

  Calls held;
  held.guard().wait();
  world().clockMs = start + 300;
  EXPECT_TRUE(SameCalls(tick(), held));
  world().clockMs = start + 600;
  EXPECT_TRUE(SameCalls(tick(), gateOnly())) << "600 ms after the scan";
  world().clockMs = start + 1000;
  EXPECT_TRUE(SameCalls(tick(), held)) << "due, but held off";
  world().clockMs = start + 1001;
  EXPECT_TRUE(SameCalls(tick(), quietLaterScan())) << "due and allowed";
  world().clockMs = start + 1999;
  EXPECT_TRUE(SameCalls(tick(), gateOnly())) << "998 ms after the second scan";
}

}  // namespace
}  // namespace fraywick::testing
