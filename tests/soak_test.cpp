// Long runs of the real module: thousands of frames in which trigger events come and go at every
// saloon while peds appear and vanish between frames and in the middle of a scan, then a hundred
// loads and unloads in a row. Whatever the churn, each saloon brawls exactly once per load and its
// bartender flees exactly once.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/director_support.h"
#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

constexpr std::uint32_t kHarmlessEvent = 0x11111111;  // not one of the five

std::int32_t bartenderHandle(int saloon) {
  return 100 + saloon;
}

// What the plug-in did to the game during one load, tallied from the natives as they are
// answered: which saloons were hit, whether any was asked about again afterwards, who fled and
// who was recruited.
struct Tally {
  std::array<int, kSaloons> hits{};
  std::array<int, kSaloons> testsAfterHit{};
  std::map<std::int32_t, int> flees;     // ped -> fleeFromPed calls
  std::map<std::int32_t, int> recruits;  // ped -> removeAllWeapons calls
  std::vector<std::int32_t> fleeThreats;
};

class Soak : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    world().recording = false;  // thousands of frames: tallied as they go instead
    world().afterNative = [this](sim::World& w, const sim::Call& call) { observe(w, call); };
  }

  // The bartender of every saloon at its bar, and `crowd` townsfolk within 15 m of each point.
  void addSaloonPeds(int crowd) {
    for (int s = 0; s < kSaloons; ++s) {
      sim::Ped& bartender = world().addPed({});
      bartender.handle = bartenderHandle(s);
      bartender.model = bartenderModel(s);
      bartender.position = offset(triggerPoint(s), 2.0f, 0.0f);
      for (int k = 0; k < crowd; ++k) addTownsfolk(s, nextHandle_++);
    }
  }

  sim::Ped& addTownsfolk(int saloon, std::int32_t handle) {
    sim::Ped& ped = world().addPed({});
    ped.handle = handle;
    ped.model = kTownsfolkModel;
    const float step = static_cast<float>(handle % 15);
    ped.position = offset(triggerPoint(saloon), step, -step / 2);
    homes_[handle] = saloon;
    return ped;
  }

  static sim::Vec3 offset(sim::Vec3 p, float dx, float dy) { return {p.x + dx, p.y + dy, p.z}; }

  static int saloonAt(std::uint64_t xSlot) {
    for (int s = 0; s < kSaloons; ++s) {
      if (std::bit_cast<std::uint32_t>(triggerPoint(s).x) == static_cast<std::uint32_t>(xSlot)) {
        return s;
      }
    }
    return -1;
  }

  void observe(sim::World& w, const sim::Call& call) {
    if (call.hash == isEventInSphere.hash) {
      const int s = saloonAt(call.args.at(1));
      ASSERT_GE(s, 0) << "an event test away from every saloon";
      if (tally_.hits[s] > 0) ++tally_.testsAfterHit[s];
      if (static_cast<std::uint32_t>(call.results.at(0)) != 0) ++tally_.hits[s];
    } else if (call.hash == fleeFromPed.hash) {
      ++tally_.flees[static_cast<std::int32_t>(call.args.at(0))];
      tally_.fleeThreats.push_back(static_cast<std::int32_t>(call.args.at(1)));
    } else if (call.hash == removeAllWeapons.hash) {
      ++tally_.recruits[static_cast<std::int32_t>(call.args.at(0))];
    } else if (call.hash == entityExists.hash && vanishMidScan_) {
      // Now and then a ped that has just been found to exist is gone by the next question.
      const auto handle = static_cast<std::int32_t>(call.args.at(0));
      if (homes_.count(handle) != 0 && random_() % 16 == 0) {
        if (sim::Ped* ped = w.findPed(handle)) ped->exists = false;
      }
    }
  }

  // Between frames: townsfolk blink out and back, and now and then one leaves for good and a
  // newcomer takes its place near some saloon.
  void churn() {
    std::vector<sim::Ped>& peds = world().peds;
    for (int i = 0; i < 3; ++i) {
      sim::Ped& ped = peds[random_() % peds.size()];
      if (homes_.count(ped.handle) != 0) ped.exists = !ped.exists;
    }
    if (random_() % 8 == 0) {
      const std::size_t at = random_() % peds.size();
      if (homes_.count(peds[at].handle) != 0) {
        homes_.erase(peds[at].handle);
        peds.erase(peds.begin() + static_cast<std::ptrdiff_t>(at));
        addTownsfolk(static_cast<int>(random_() % kSaloons), nextHandle_++);
      }
    }
  }

  // Every saloon brawled exactly once, its bartender fled once from the player, and no one was
  // recruited twice; neither the player nor a bartender was recruited at all.
  void expectEachSaloonBrawledOnce(const std::string& when) {
    SCOPED_TRACE(when);
    for (int s = 0; s < kSaloons; ++s) {
      EXPECT_EQ(tally_.hits[s], 1) << "saloon " << s;
      EXPECT_EQ(tally_.testsAfterHit[s], 0) << "saloon " << s << " was tested after its hit";
      EXPECT_EQ(tally_.flees[bartenderHandle(s)], 1) << "bartender of saloon " << s;
      EXPECT_EQ(tally_.recruits.count(bartenderHandle(s)), 0u) << "bartender of saloon " << s;
    }
    EXPECT_EQ(tally_.flees.size(), static_cast<std::size_t>(kSaloons)) << "only bartenders flee";
    for (const std::int32_t threat : tally_.fleeThreats) EXPECT_EQ(threat, kPlayer);
    EXPECT_EQ(tally_.recruits.count(kPlayer), 0u);
    EXPECT_GT(tally_.recruits.size(), 0u);
    for (const auto& [ped, times] : tally_.recruits) EXPECT_EQ(times, 1) << "ped " << ped;
  }

  std::map<std::int32_t, int> homes_;  // townsfolk -> the saloon they stand at
  std::int32_t nextHandle_ = 1000;
  std::mt19937 random_{20261207};  // the same sequence on every platform
  bool vanishMidScan_ = true;
  Tally tally_;
};

TEST_F(Soak, TenThousandFramesOfEventsAndChurnBrawlEachSaloonOnce) {
  constexpr int kFrames = 10'000;  // 160 s of game time at 16 ms a frame
  const std::uint64_t start = world().clockMs;
  const auto at = [start](double seconds) {
    return start + static_cast<std::uint64_t>(seconds * 1000);
  };
  addPlayer(world());
  addSaloonPeds(12);
  for (int s = 0; s < kSaloons; ++s) {
    const sim::Vec3 point = triggerPoint(s);
    const std::uint32_t type = kTriggerEvents[s % 5];
    // Each saloon's own window of 4 s, at its own time ...
    world().events.push_back({type, offset(point, 1, 1), at(5 + 9 * s), at(9 + 9 * s)});
    // ... fires again late in the run, when the saloon has long started ...
    world().events.push_back({type, point, at(125 + 2 * s), at(128 + 2 * s)});
    // ... and things that must not count: a harmless event at the point all along, and a
    // trigger event 12 m away.
    world().events.push_back({kHarmlessEvent, point, start, at(160)});
    world().events.push_back({type, offset(point, 12, 0), at(1 + 9 * s), at(10 + 9 * s)});
  }
  // The director is held off twice by the guard, and the player is gone for two seconds.
  world().guard = {{at(20), at(21.5), 1}, {at(70), at(71.5), -1}};
  load();

  for (int frame = 0; frame < kFrames; ++frame) {
    const std::uint64_t now = world().clockMs;
    world().findPed(kPlayer)->exists = now < at(40) || now >= at(42);
    churn();
    ASSERT_TRUE(sim::tick()) << "frame " << frame;
  }
  EXPECT_GE(world().clockMs, at(160));
  expectEachSaloonBrawledOnce("after 10,000 frames");
}

TEST_F(Soak, AHundredLoadsInARowEachBrawlEverySaloonOnce) {
  addPlayer(world());
  addSaloonPeds(3);
  world().clockStepMs = 250;
  for (int cycle = 0; cycle < 100; ++cycle) {
    const std::string when = "load " + std::to_string(cycle);
    // A new evening for each load, in the same world: every saloon's event comes round again.
    const std::uint64_t start = world().clockMs;
    world().events.clear();
    for (int s = 0; s < kSaloons; ++s) {
      const std::uint64_t from = start + 1000 * static_cast<std::uint64_t>(s % 4);
      world().events.push_back(
          {kTriggerEvents[(s + cycle) % 5], triggerPoint(s), from, from + 2500});
    }
    tally_ = Tally{};
    load();
    for (int frame = 0; frame < 28; ++frame) {
      churn();
      ASSERT_TRUE(sim::tick()) << when << ", frame " << frame;
    }
    unload();
    ASSERT_FALSE(sim::scriptRegistered()) << when;
    ASSERT_FALSE(sim::keyboardHandlerRegistered()) << when;
    expectEachSaloonBrawledOnce(when);
    if (HasFailure()) break;  // one broken load says it all; a hundred copies would not
  }
}

}  // namespace
}  // namespace fraywick::testing
