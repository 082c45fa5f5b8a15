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

#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

constexpr int kSaloons = 13;
constexpr std::uint64_t kIsEventInSphere = 0x9DB47E16060D6354;
constexpr std::uint64_t kFleeFromPed = 0x22B0D0E37CCB840D;
constexpr std::uint64_t kRemoveAllWeapons = 0xF25DF915FA38C5F3;
constexpr std::uint64_t kEntityExists = 0xD42BD6EB2E0F1677;
constexpr std::uint32_t kTriggerEvents[] = {0x2CA3408A, 0x86D43C6C, 0x73DBE22C, 0xF5C6180C,
                                            0x71B212BD};
constexpr std::uint32_t kHarmlessEvent = 0x11111111;  // not one of the five
constexpr std::int32_t kPlayer = 1;
constexpr std::uint32_t kTownsfolkModel = 0x12345678;

struct SaloonSite {
  sim::Vec3 point;
  std::uint32_t bartenderModel;
};

// The saloons as the game knows them; the named bartender models are hashed as the game does.
std::array<SaloonSite, kSaloons> saloonSites() {
  const auto named = [](const char* name) { return sim::hashOfName(name); };
  return {{
      {{-309.5f, 808.69f, 121.3f}, named("U_M_M_VALBARTENDER_01")},
      {{-241.5f, 769.64f, 118.3f}, named("U_M_O_VALBARTENDER_01")},
      {{1335.6f, -1374.0f, 81.9f}, named("U_M_M_RHDBARTENDER_01")},
      {{2957.56f, 1350.25f, 47.13f}, 0xB807927B},
      {{2946.0f, 523.33f, 45.34f}, named("U_F_M_VHTBARTENDER_01")},
      {{2633.99f, -1227.03f, 53.38f}, named("U_M_M_NBXBARTENDER_01")},
      {{2795.99f, -1168.52f, 47.93f}, named("U_M_M_NBXBARTENDER_02")},
      {{-815.43f, -1317.43f, 43.69f}, named("U_M_O_BLWBARTENDER_01")},
      {{-3702.72f, -2595.68f, -13.32f}, named("U_M_O_ARMBARTENDER_01")},
      {{-5512.86f, -2912.41f, -1.75f}, named("U_M_M_TUMBARTENDER_01")},
      {{-1776.79f, -370.35f, 156.96f}, 0x627F30B5},
      {{1448.67f, 373.01f, 89.89f}, 0x904CC489},
      {{-675.08f, -1273.12f, 41.91f}, 0xC05D40F3},
  }};
}

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
    sites_ = saloonSites();
    world().recording = false;  // thousands of frames: tallied as they go instead
    world().afterNative = [this](sim::World& w, const sim::Call& call) { observe(w, call); };
  }

  void addPlayer() {
    sim::Ped& player = world().addPed({});
    player.handle = kPlayer;
    player.player = true;
  }

  // The bartender of every saloon at its bar, and `crowd` townsfolk within 15 m of each point.
  void addSaloonPeds(int crowd) {
    for (int s = 0; s < kSaloons; ++s) {
      sim::Ped& bartender = world().addPed({});
      bartender.handle = bartenderHandle(s);
      bartender.model = sites_[s].bartenderModel;
      bartender.position = offset(sites_[s].point, 2.0f, 0.0f);
      for (int k = 0; k < crowd; ++k) addTownsfolk(s, nextHandle_++);
    }
  }

  sim::Ped& addTownsfolk(int saloon, std::int32_t handle) {
    sim::Ped& ped = world().addPed({});
    ped.handle = handle;
    ped.model = kTownsfolkModel;
    const float step = static_cast<float>(handle % 15);
    ped.position = offset(sites_[saloon].point, step, -step / 2);
    homes_[handle] = saloon;
    return ped;
  }

  static sim::Vec3 offset(sim::Vec3 p, float dx, float dy) { return {p.x + dx, p.y + dy, p.z}; }

  int saloonAt(std::uint64_t xSlot) const {
    for (int s = 0; s < kSaloons; ++s) {
      if (std::bit_cast<std::uint32_t>(sites_[s].point.x) == static_cast<std::uint32_t>(xSlot)) {
        return s;
      }
    }
    return -1;
  }

  void observe(sim::World& w, const sim::Call& call) {
    if (call.hash == kIsEventInSphere) {
      const int s = saloonAt(call.args.at(1));
      ASSERT_GE(s, 0) << "an event test away from every saloon";
      if (tally_.hits[s] > 0) ++tally_.testsAfterHit[s];
      if (static_cast<std::uint32_t>(call.results.at(0)) != 0) ++tally_.hits[s];
    } else if (call.hash == kFleeFromPed) {
      ++tally_.flees[static_cast<std::int32_t>(call.args.at(0))];
      tally_.fleeThreats.push_back(static_cast<std::int32_t>(call.args.at(1)));
    } else if (call.hash == kRemoveAllWeapons) {
      ++tally_.recruits[static_cast<std::int32_t>(call.args.at(0))];
    } else if (call.hash == kEntityExists && vanishMidScan_) {
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

  std::array<SaloonSite, kSaloons> sites_{};
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
  addPlayer();
  addSaloonPeds(12);
  for (int s = 0; s < kSaloons; ++s) {
    const sim::Vec3 point = sites_[s].point;
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
  addPlayer();
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
          {kTriggerEvents[(s + cycle) % 5], sites_[s].point, from, from + 2500});
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
