// A host that breaks the promises the plug-in relies on: ped counts outside the snapshot, random
// draws outside their bounds, peds that vanish between two questions, garbage in the unused
// halves of every result slot, a player who is not always there. Each row of the table gives the
// misbehaviour and exactly what the plug-in makes of it over three scans of one saloon.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/director_support.h"
#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

constexpr int kScans = 3;

// The scene every row starts from: the player far away, three townsfolk and Valentine's bartender
// at the bar, a trigger event there from the start; the clock steps a second a tick, so each of
// the three ticks scans.
constexpr std::int32_t kBrawlers[] = {10, 11, 12};
constexpr std::int32_t kBartender = 20;

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

void buildScene(sim::World& world) {
  world.clockStepMs = 1000;
  addPlayer(world);
  const sim::Vec3 valentine = triggerPoint(0);
  for (const std::int32_t handle : kBrawlers) {
    addPed(world, handle, {valentine.x + static_cast<float>(handle - 9), valentine.y, valentine.z});
  }
  addPed(world, kBartender, {valentine.x, valentine.y + 2, valentine.z},
         {.model = bartenderModel(0)});
  addEvent(world, kTriggerEvents[0], valentine);
}

// What the plug-in did over the three scans, read from the calls the hook recorded.
struct Outcome {
  std::vector<int> eventTests;          // isEventInSphere calls in each scan
  int examined = 0;                     // peds put through the filters (entityExists on them)
  std::int32_t lastExamined = 0;        // the last of them; 0 when none
  std::vector<std::int32_t> recruited;  // removeAllWeapons, in order
  std::vector<std::uint32_t> groups;    // setRelationshipGroup's group, in order
  std::vector<std::pair<std::int32_t, std::int32_t>> fights;  // fightPed: ped, target
  std::vector<std::pair<std::int32_t, std::int32_t>> flees;   // fleeFromPed: ped, threat

  bool operator==(const Outcome&) const = default;
};

template <class T>
void printList(std::ostream& out, const std::vector<T>& items) {
  out << "{";
  for (std::size_t i = 0; i < items.size(); ++i) out << (i ? ", " : "") << items[i];
  out << "}";
}

void printPairs(std::ostream& out, const std::vector<std::pair<std::int32_t, std::int32_t>>& v) {
  out << "{";
  for (std::size_t i = 0; i < v.size(); ++i) {
    out << (i ? ", " : "") << "(" << v[i].first << "->" << v[i].second << ")";
  }
  out << "}";
}

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << "\n  event tests per scan ";
  printList(*out, o.eventTests);
  *out << "\n  examined " << o.examined << ", the last " << o.lastExamined << "\n  recruited ";
  printList(*out, o.recruited);
  *out << "\n  groups ";
  printList(*out, o.groups);
  *out << "\n  fights ";
  printPairs(*out, o.fights);
  *out << "\n  flees ";
  printPairs(*out, o.flees);
}

std::int32_t handleIn(std::uint64_t slot) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(slot));
}

Outcome outcomeOf(const std::vector<sim::Call>& calls) {
  Outcome o;
  o.eventTests.assign(kScans, 0);
  std::size_t scan = 0;
  std::uint64_t previousNative = 0;
  for (const sim::Call& call : calls) {
    if (call.kind == sim::CallKind::ScriptWait) ++scan;
    if (call.kind != sim::CallKind::Native) continue;
    if (call.hash == isEventInSphere.hash && scan < o.eventTests.size()) ++o.eventTests[scan];
    // The scan's own player check comes right after playerPed; every other one is the filter.
    if (call.hash == entityExists.hash && previousNative != playerPed.hash) {
      ++o.examined;
      o.lastExamined = handleIn(call.args.at(0));
    }
    if (call.hash == removeAllWeapons.hash) o.recruited.push_back(handleIn(call.args.at(0)));
    if (call.hash == setRelationshipGroup.hash) {
      o.groups.push_back(static_cast<std::uint32_t>(call.args.at(1)));
    }
    if (call.hash == fightPed.hash)
      o.fights.emplace_back(handleIn(call.args[0]), handleIn(call.args[1]));
    if (call.hash == fleeFromPed.hash)
      o.flees.emplace_back(handleIn(call.args[0]), handleIn(call.args[1]));
    previousNative = call.hash;
  }
  return o;
}

// Makes `ped` vanish as soon as the game has answered `hash` about it.
std::function<void(sim::World&, const sim::Call&)> vanishAfter(std::uint64_t hash,
                                                               std::int32_t ped) {
  return [hash, ped](sim::World& world, const sim::Call& call) {
    if (call.hash == hash && handleIn(call.args.at(0)) == ped) world.findPed(ped)->exists = false;
  };
}

void playerThere(sim::World& world, bool there) {
  world.findPed(kPlayer)->exists = there;
}

// Random draws for a clean brawl of the three: groups 5000 to 5002, then each fights the next.
const std::deque<std::int32_t> kCleanDraws = {5000, 5001, 5002, 1, 2, 0};

struct Row {
  const char* name;
  const char* misbehaviour;
  std::function<void(sim::World&)> arrange;               // after the scene is built
  std::function<void(sim::World&, int scan)> beforeScan;  // before each of the three ticks
  Outcome expected;
  bool sameCallsAsCleanHost = false;  // also every native call, slot for slot
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

// The outcome of the clean scene, which most rows share.
Outcome cleanOutcome() {
  return {.eventTests = {61, 60, 60},  // a hit at the first test, then 12 quiet saloons
          .examined = 5,
          .lastExamined = kBartender,
          .recruited = {10, 11, 12},
          .groups = {5000, 5001, 5002},
          .fights = {{10, 11}, {11, 12}, {12, 10}},
          .flees = {{kBartender, kPlayer}}};
}

// A scene in which nothing happens to any ped, and whose event tests are `eventTests`.
Outcome nothingDone(std::vector<int> eventTests) {
  Outcome outcome;
  outcome.eventTests = std::move(eventTests);
  return outcome;
}

Outcome withoutBrawl() {
  return nothingDone({61, 60, 60});  // the hit still marks the saloon started
}

std::vector<Row> rows() {
  std::vector<Row> table;
  table.push_back({"CleanHost", "none: the reference", nullptr, nullptr, cleanOutcome(), true});

  {
    // 300 peds and a count of 300: the 44 past the snapshot stand at the bar and would brawl.
    Outcome expected = cleanOutcome();
    expected.examined = 256;
    expected.lastExamined = 350;
    table.push_back({"PedCount300With300Peds", "worldGetAllPeds answers 300 for its 256 slots",
                     [](sim::World& w) {
                       for (std::int32_t h = 100; h <= 350; ++h) addPed(w, h, {});
                       for (std::int32_t h = 400; h < 444; ++h) addPed(w, h, triggerPoint(0));
                       w.forcedPedCount = 300;
                     },
                     nullptr, expected});
  }
  table.push_back({"PedCountMinusOne", "worldGetAllPeds answers -1",
                   [](sim::World& w) { w.forcedPedCount = -1; }, nullptr, withoutBrawl()});
  table.push_back({"PedCountMostNegative", "worldGetAllPeds answers -2^31",
                   [](sim::World& w) { w.forcedPedCount = kIntMin; }, nullptr, withoutBrawl()});
  {
    // Three slots past the five it filled: each reads as handle 0, which is no ped.
    Outcome expected = cleanOutcome();
    expected.examined = 8;
    expected.lastExamined = 0;
    table.push_back({"PedCountAboveWhatItFilled", "worldGetAllPeds fills 5 slots, answers 8",
                     [](sim::World& w) { w.forcedPedCount = 8; }, nullptr, expected});
  }
  {
    Outcome expected = cleanOutcome();
    expected.groups = {0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF};
    table.push_back({"GroupDrawsOutOfRange", "group draws answer 65535, -1 and 2^31-1",
                     [](sim::World& w) { w.forcedRandom = {65535, -1, kIntMax, 1, 2, 0}; }, nullptr,
                     expected});
  }
  {
    Outcome expected = cleanOutcome();
    expected.fights = {{10, 11}, {12, 10}};
    table.push_back({"OpponentDrawsOutOfRange",
                     "opponent draws answer 3 (= N), -1, 2^31-1, -2^31, 99, 10^6, -7",
                     [](sim::World& w) {
                       w.forcedRandom = {
                           5000,    5001, 5002,        // groups
                           3,       -1,   kIntMax, 1,  // brawler 10: three wasted, then 11
                           kIntMin, 3,    99,      1000000, -7,  // brawler 11: none left
                           0};                                   // brawler 12: 10
                     },
                     nullptr, expected});
  }
  {
    Outcome expected = cleanOutcome();
    expected.recruited = {10, 12};
    expected.groups = {5000, 5001};
    expected.fights = {{10, 12}, {12, 10}};
    table.push_back({"PedVanishesAfterItsExistenceCheck",
                     "ped 11 vanishes right after entityExists answered for it",
                     [](sim::World& w) {
                       w.afterNative = vanishAfter(entityExists.hash, 11);
                       w.forcedRandom = {5000, 5001, 1, 0};
                     },
                     nullptr, expected});
  }
  table.push_back({"PedVanishesAfterItsModelWasRead",
                   "ped 11 vanishes right after entityModel answered for it",
                   [](sim::World& w) { w.afterNative = vanishAfter(entityModel.hash, 11); },
                   nullptr, cleanOutcome()});
  table.push_back({"BartenderVanishesAfterItsModelWasRead",
                   "the bartender vanishes right after entityModel answered for it",
                   [](sim::World& w) { w.afterNative = vanishAfter(entityModel.hash, kBartender); },
                   nullptr, cleanOutcome()});
  table.push_back({"GarbageHighHalves", "0xDEADBEEF in the high half of every result slot",
                   [](sim::World& w) { w.resultHighHalf = 0xDEADBEEF; }, nullptr, cleanOutcome(),
                   true});
  table.push_back({"AllOnesHighHalves", "0xFFFFFFFF in the high half of every result slot",
                   [](sim::World& w) { w.resultHighHalf = 0xFFFFFFFF; }, nullptr, cleanOutcome(),
                   true});
  {
    Outcome expected = cleanOutcome();
    expected.eventTests = {0, 61, 60};
    table.push_back({"PlayerAbsentAtFirstScan", "the player ped is gone at scan 1, back at 2",
                     nullptr, [](sim::World& w, int scan) { playerThere(w, scan != 0); },
                     expected});
  }
  {
    Outcome expected = cleanOutcome();
    expected.eventTests = {61, 0, 60};
    table.push_back({"PlayerComesAndGoes", "the player ped is there, gone, there again", nullptr,
                     [](sim::World& w, int scan) { playerThere(w, scan != 1); }, expected});
  }
  table.push_back({"NoPlayerAtAll", "playerPed answers 0, a handle of nothing",
                   [](sim::World& w) { w.peds.erase(w.peds.begin()); }, nullptr,
                   nothingDone({0, 0, 0})});
  return table;
}

class HostileHost : public PluginTest, public ::testing::WithParamInterface<Row> {
 protected:
  // Builds the scene, lets `row` misbehave, runs three scans of the plug-in module at `plugin`
  // (the shipped one unless told otherwise) and returns every call.
  std::vector<sim::Call> run(const Row& row, const std::string& plugin = sim::defaultPluginPath()) {
    sim::resetWorld();
    sim::World& w = world();
    buildScene(w);
    w.forcedRandom = kCleanDraws;
    if (row.arrange) row.arrange(w);
    std::string error;
    EXPECT_TRUE(sim::loadPlugin(plugin, &error)) << error;
    w.calls.clear();
    for (int scan = 0; scan < kScans; ++scan) {
      if (row.beforeScan) row.beforeScan(w, scan);
      EXPECT_TRUE(sim::tick());
    }
    // A text goes by its address, and the next load may map the module elsewhere: keep what the
    // text says instead, while it is still there to read.
    for (sim::Call& call : w.calls) {
      if (call.hash == hashOfName.hash || call.hash == queryByName.hash) {
        call.args.at(0) = sim::hashOfName(reinterpret_cast<const char*>(call.args.at(0)));
      }
    }
    unload();
    EXPECT_TRUE(w.errors.empty()) << w.errors.front();
    return w.calls;
  }

  static std::vector<sim::Call> natives(const std::vector<sim::Call>& calls) {
    std::vector<sim::Call> out;
    for (const sim::Call& c : calls) {
      if (c.kind == sim::CallKind::Native) out.push_back(c);
    }
    return out;
  }

  // The diagnostic build must call the game exactly as the shipped one does: every native and
  // snapshot, slot for slot, with the same answers, in the same order.
  static void expectSameGameCalls(const std::vector<sim::Call>& diagnostic,
                                  const std::vector<sim::Call>& shipped) {
    const auto game = [](const std::vector<sim::Call>& calls) {
      std::vector<sim::Call> out;
      for (const sim::Call& c : calls) {
        if (c.kind == sim::CallKind::Native || c.kind == sim::CallKind::WorldGetAllPeds ||
            c.kind == sim::CallKind::ScriptWait) {
          out.push_back(c);
        }
      }
      return out;
    };
    const std::vector<sim::Call> a = game(diagnostic), b = game(shipped);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_EQ(a[i].kind, b[i].kind) << "call " << i;
      ASSERT_EQ(a[i].hash, b[i].hash) << "call " << i;
      ASSERT_EQ(a[i].args, b[i].args) << "call " << i;  // texts by what they say (run())
      ASSERT_EQ(a[i].results, b[i].results) << "call " << i;
    }
  }

  std::string recordingWritten() const {
    std::ifstream file(workDir_ / "Fraywick-recording.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
};

TEST_P(HostileHost, GetsWhatTheTableSays) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.misbehaviour);
  const std::vector<sim::Call> calls = run(row);
  EXPECT_EQ(outcomeOf(calls), row.expected);

  if (row.sameCallsAsCleanHost) {
    const std::vector<sim::Call> hostile = natives(calls);
    const std::vector<sim::Call> clean = natives(run(rows().front()));
    ASSERT_EQ(hostile.size(), clean.size());
    for (std::size_t i = 0; i < clean.size(); ++i) {
      ASSERT_EQ(hostile[i].hash, clean[i].hash) << "call " << i;
      ASSERT_EQ(hostile[i].args, clean[i].args) << "call " << i;
    }
  }

  // The diagnostic build, against the same misbehaving host, makes the same calls and records
  // them to the end.
  {
    SCOPED_TRACE("the diagnostic build");
    expectSameGameCalls(run(row, diagnosticPluginPath()), calls);
    const std::string recording = recordingWritten();
    EXPECT_TRUE(recording.starts_with("# Fraywick recording, format 1\n"));
    EXPECT_NE(recording.find("\nend "), std::string::npos);
  }
}

std::string recordingName(int number) {
  return number == 0 ? std::string("Fraywick-recording.txt")
                     : "Fraywick-recording-" + std::to_string(number) + ".txt";
}

// Where no recording can be written (a folder at every name it may take), the diagnostic build
// records nothing and goes on as the shipped one.
TEST_F(HostileHost, DiagnosticBuildGoesOnWithoutARecordingWhereItCannotWriteOne) {
  for (int number = 0; number <= 5; ++number) {
    std::filesystem::create_directory(workDir_ / recordingName(number));
  }
  const std::vector<Row> table = rows();
  const Row& clean = table.front();
  expectSameGameCalls(run(clean, diagnosticPluginPath()), run(clean));
  for (int number = 0; number <= 5; ++number) {
    EXPECT_TRUE(std::filesystem::is_directory(workDir_ / recordingName(number)));
    EXPECT_TRUE(std::filesystem::is_empty(workDir_ / recordingName(number)));
  }
}

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A load never overwrites the recording of an earlier one, which a player who restarted after a
// crash still needs: the newest moves to Fraywick-recording-1.txt and each earlier one a number
// up; the one beyond -5 goes, and so do those that would take the earlier ones together past
// three full recordings (for the 64 KiB cap of this build, 192 KiB). A name that cannot be moved
// or removed (a folder there; a read-only file, which Windows does not remove; a file held open
// without delete sharing, which Windows neither moves nor removes) stays and costs only its own
// place: the others move on around it, and the load records, at the lowest free name when
// Fraywick-recording.txt is taken.
TEST_F(HostileHost, DiagnosticBuildKeepsTheRecordingsOfEarlierLoads) {
  static constexpr std::size_t kSmall = 100;
  constexpr std::size_t kLarge = 100 << 10;
  constexpr std::size_t kCap = 64 << 10;
  enum class Stuck { No, Folder, ReadOnly, HeldOpen };
  // In `after`, besides the number a recording had before:
  constexpr int kNone = -1, kNew = -2, kFolder = -3;
  struct Case {
    const char* what;
    std::vector<std::pair<int, std::size_t>> before;  // recording number (0: newest), its size
    std::vector<int> after;  // what each name 0 to 5 holds after the load; none: Windows only
    // A folder at the name `at`, or the recording there read-only or held open.
    Stuck stuck = Stuck::No;
    int at = 0;
    std::vector<int> afterOnWindows = {};  // where Windows differs
  };
  const auto allBut = [](int missing) {
    std::vector<std::pair<int, std::size_t>> recordings;
    for (int number = 0; number <= 5; ++number) {
      if (number != missing) recordings.emplace_back(number, kSmall);
    }
    return recordings;
  };
  const auto six = allBut(-1);
  const std::vector<int> shifted = {kNew, 0, 1, 2, 3, 4};
  const std::vector<std::pair<int, std::size_t>> pastTheBound = {
      {0, kLarge}, {1, kLarge}, {2, kSmall}};
  const Case cases[] = {
      {"the first load", {}, {kNew, kNone, kNone, kNone, kNone, kNone}},
      {"the next load", {{0, kSmall}}, {kNew, 0, kNone, kNone, kNone, kNone}},
      {"six there already", six, shifted},
      {"a number missing", {{0, kSmall}, {2, kSmall}}, {kNew, 0, kNone, 2, kNone, kNone}},
      {"one there, but not the newest", {{1, kSmall}}, {kNew, 1, kNone, kNone, kNone, kNone}},
      {"past the bound together", pastTheBound, {kNew, 0, kNone, kNone, kNone, kNone}},
      {"exactly three caps", {{0, kCap}, {1, kCap}, {2, kCap}}, {kNew, 0, 1, 2, kNone, kNone}},
      {"a byte past three caps",
       {{0, kCap}, {1, kCap}, {2, kCap + 1}},
       {kNew, 0, 1, kNone, kNone, kNone}},
      {"a folder at the newest name", allBut(0), {kFolder, kNew, 1, 2, 3, 4}, Stuck::Folder, 0},
      {"a folder in the middle", allBut(2), {kNew, 0, kFolder, 1, 3, 4}, Stuck::Folder, 2},
      {"a folder at the last kept name", allBut(5), {kNew, 0, 1, 2, 3, kFolder}, Stuck::Folder, 5},
      {"the newest read-only", six, shifted, Stuck::ReadOnly, 0},
      {"a read-only one in the middle past the bound",
       pastTheBound,
       {kNew, 0, kNone, kNone, kNone, kNone},
       Stuck::ReadOnly,
       1,
       {kNew, 1, 0, kNone, kNone, kNone}},
      {"the last kept read-only", six, shifted, Stuck::ReadOnly, 5, {kNew, 0, 1, 2, 3, 5}},
      {"the newest held open", six, {}, Stuck::HeldOpen, 0, {0, kNew, 1, 2, 3, 4}},
      {"one held open in the middle", six, {}, Stuck::HeldOpen, 2, {kNew, 0, 2, 1, 3, 4}},
      {"the last kept held open", six, {}, Stuck::HeldOpen, 5, {kNew, 0, 1, 2, 3, 5}},
  };
  namespace fs = std::filesystem;
  const auto bytesOf = [](int number, std::size_t size) {
    std::string text = "earlier " + std::to_string(number) + "\n";
    text.resize(size, static_cast<char>('a' + number));
    return text;
  };
  const auto clear = [this] {
    for (int number = 0; number <= 5; ++number) {
      const fs::path path = workDir_ / recordingName(number);
      std::error_code ignored;
      fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
      fs::remove_all(path, ignored);
    }
  };
  const std::vector<Row> table = rows();
  const Row& clean = table.front();
  for (const Case& c : cases) {
    const std::vector<int>& after =
        kWindows && !c.afterOnWindows.empty() ? c.afterOnWindows : c.after;
    if (after.empty()) continue;  // a file held open stops nothing but on Windows
    SCOPED_TRACE(c.what);
    clear();
    std::map<int, std::string> before;
    for (const auto& [number, size] : c.before) {
      before[number] = bytesOf(number, size);
      std::ofstream(workDir_ / recordingName(number), std::ios::binary) << before[number];
    }
    const fs::path stuck = workDir_ / recordingName(c.at);
    if (c.stuck == Stuck::Folder) fs::create_directory(stuck);
    if (c.stuck == Stuck::ReadOnly) {
      fs::permissions(stuck,
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    }
    std::ifstream held;
    if (c.stuck == Stuck::HeldOpen) held.open(stuck, std::ios::binary);

    run(clean, smallCapDiagnosticPluginPath());
    held.close();
    for (int number = 0; number <= 5; ++number) {
      const int from = after[static_cast<std::size_t>(number)];
      const fs::path path = workDir_ / recordingName(number);
      if (from == kFolder) {
        EXPECT_TRUE(fs::is_directory(path) && fs::is_empty(path)) << recordingName(number);
        continue;
      }
      std::ifstream file(path, std::ios::binary);
      if (from == kNone) {
        EXPECT_FALSE(file.is_open()) << recordingName(number) << " should not be there";
        continue;
      }
      const std::string kept{std::istreambuf_iterator<char>(file), {}};
      if (from == kNew) {
        EXPECT_TRUE(kept.starts_with("# Fraywick recording, format 1\n"))
            << recordingName(number) << " should hold the new recording: " << kept.substr(0, 40);
        EXPECT_NE(kept.find("\nend "), std::string::npos) << recordingName(number);
        continue;
      }
      EXPECT_TRUE(kept == before[from])
          << recordingName(number) << " should hold what " << recordingName(from)
          << " held; it holds " << kept.substr(0, 20);
    }
  }
  clear();
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileHost, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace fraywick::testing
