// Shared vocabulary for the brawl director's tests: the natives and the saloons as the plug-in
// declares them (host/natives.h, brawl/saloons.h; saloon_table_test.cpp and natives_test.cpp pin
// both against copies of their own), helpers that place peds and events relative to a saloon, and
// a compact way to write the exact call sequence a tick should make and compare it with what the
// simulated hook recorded, with a readable diff on failure.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/natives.h"
#include "sim/world.h"
#include "support/plugin_test.h"

namespace fraywick::testing {

// ----- what the plug-in must pass the game -----

// The trigger event types, in the order the scan tests them; written down here, not read from the
// plug-in, so that the tests notice a changed one. Each is the game's hash of the name beside it.
inline constexpr std::array<std::uint32_t, 5> kTriggerEvents = {0x2CA3408A, 0x86D43C6C, 0x73DBE22C,
                                                                0xF5C6180C, 0x71B212BD};
inline constexpr std::array<const char*, 5> kTriggerEventNames = {
    "EVENT_SHOCKING_INTERESTING_MELEE_FIGHT", "EVENT_SHOCKING_BAR_BRAWL_ACTION",
    "EVENT_SHOCKING_MELEE_FIGHT", "EVENT_SHOCKING_SEEN_MELEE_ACTION", "EVENT_MELEE_ACTION"};
inline constexpr std::array<int, 6> kBrawlerFlags = {5, 46, 96, 50, 58, 93};
inline constexpr std::uint32_t kEventRadiusBits = 0x41000000;   // 8.0
inline constexpr std::uint32_t kFleeDistanceBits = 0x42C80000;  // 100.0
inline constexpr std::uint32_t kFleeThreeBits = 0x40400000;     // 3.0
inline constexpr int kSaloons = 13;

// ----- the saloon table, as the plug-in writes it down -----

const char* saloonName(int row);
// The model names in the order the director hashes them (rows 0, 1, 2, 4 to 9).
std::vector<const char*> hashedModelNames();
// The row's bartender model as the game hashes it, or the row's literal.
std::uint32_t bartenderModel(int row);
sim::Vec3 triggerPoint(int row);

// ----- building the world -----

inline constexpr std::int32_t kPlayer = 1;

// A ped the tests recruit unless they say otherwise: human, male, of an ordinary model.
inline constexpr std::uint32_t kTownsfolkModel = 0x12345678;

struct PedTraits {
  std::uint32_t model = kTownsfolkModel;
  bool male = true;
  bool human = true;
};

// These return a copy of the ped as added: the world's ped list may move when it grows.
// Adds the player far from every saloon.
sim::Ped addPlayer(sim::World& world, std::int32_t handle = kPlayer);
sim::Ped addPed(sim::World& world, std::int32_t handle, sim::Vec3 position, PedTraits traits = {});
// A point at exactly `distance` from the row's trigger point (as the game's float arithmetic
// measures it), offset along one axis. Fails the test if no axis allows an exact offset.
sim::Vec3 pointAtDistance(int row, float distance);
// An event of `type` active from the start of time until its end.
void addEvent(sim::World& world, std::uint32_t type, sim::Vec3 position);

// ----- expected call sequences -----

// One expected argument slot. Texts compare by content, since only the plug-in knows where its
// constant texts live.
struct Slot {
  std::uint64_t value = 0;
  const char* text = nullptr;
};
Slot I(std::int32_t value);   // int, bool or handle: low half, zero-extended
Slot H(std::uint32_t value);  // hash
Slot F(float value);          // float bits
Slot FB(std::uint32_t bits);  // float given by its bits
Slot T(const char* text);

// Where the ped filter stops: the step whose query fails, or Model when the ped gets through to
// its model (what follows the model is written separately).
enum class FilterEnd { Exists, Player, Human, Male, Distance, Model };

class Calls {
 public:
  struct Expected {
    sim::CallKind kind = sim::CallKind::Native;
    std::uint64_t hash = 0;
    std::vector<Slot> slots;
  };

  Calls& native(std::uint64_t hash, std::initializer_list<Slot> slots);
  Calls& append(const Calls& other);

  // The script loop.
  Calls& guard();  // queryByName "mudtown2"
  Calls& wait();   // scriptWait 0

  // The director before and at the scan.
  Calls& tableFill();     // the nine model names, as the first pass hashes them for the table
  Calls& bartenderSet();  // the same nine, as every pass hashes them for the bartender set
  Calls& playerCheck(std::int32_t player = kPlayer);
  Calls& snapshot();  // worldGetAllPeds with capacity 256
  // The event tests of one saloon: types 0 to `hitAt`, or all five when `hitAt` is kNoHit.
  static constexpr int kNoHit = 5;
  Calls& eventTests(int row, int hitAt = kNoHit);
  // Event tests with no hit for rows [first, last].
  Calls& quietRows(int first, int last);

  // Sorting one ped for a saloon.
  Calls& filter(const sim::Ped& ped, int row, FilterEnd end, bool asksMale = true);
  Calls& flee(std::int32_t ped, std::int32_t player = kPlayer);
  Calls& recruit(std::int32_t ped, std::uint32_t group);
  Calls& relationships(const std::vector<std::uint32_t>& groups);
  Calls& draw(int brawlers);
  Calls& fight(std::int32_t ped, std::int32_t target);

  const std::vector<Expected>& list() const { return calls_; }
  std::size_t size() const { return calls_.size(); }

 private:
  std::vector<Expected> calls_;
};

// The calls of a tick as a test sees them: natives, worldGetAllPeds and scriptWait.
std::vector<sim::Call> recordedCalls(const sim::World& world);

// Compares the recorded calls with the expected ones, slot by slot, and on a mismatch shows both
// sequences around the first difference, one call per line in catalogue terms.
::testing::AssertionResult SameCalls(const std::vector<sim::Call>& actual, const Calls& expected);

// One call in catalogue terms: "isEventInSphere(0x2CA3408A, -309.5f, ...)".
std::string describe(const sim::Call& call);

// Only the native calls with this hash.
std::vector<sim::Call> callsOf(const std::vector<sim::Call>& calls, std::uint64_t hash);

// The start of a tick that scans: the guard, the name hashes (the table fill too on the first
// pass), the player check and the snapshot.
Calls firstScan(std::int32_t player = kPlayer);
Calls laterScan(std::int32_t player = kPlayer);

// The director's tests run the real module, one fresh load per test (or per case, with restart).
class DirectorTest : public PluginTest {
 protected:
  // Loads the plug-in and forgets its registration calls.
  void start();
  // Runs one script tick and returns the calls it made.
  std::vector<sim::Call> tick();
  // Unloads the module, checks that the hook saw no misuse, and gives the next case a fresh
  // world; the caller describes that world and calls start() again.
  void restart();
};

}  // namespace fraywick::testing
