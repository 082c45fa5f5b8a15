// The thirteen saloons: which bartender model each row holds (nine asked of the game by name,
// four kept as literal hashes) and the exact float bits of each trigger point. Seen from outside
// through what the module pushes, and from inside through the linked table.
//
// Every other test, the demo and the benchmarks take the saloons from the plug-in's own rows
// (brawl/saloons.h), so a wrong row would agree with itself everywhere else. The copy below is
// written down independently, the trigger points by their exact bits, to catch exactly that.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "brawl/saloons.h"
#include "sim/host.h"
#include "support/director_support.h"

namespace fraywick::testing {
namespace {

struct SaloonRow {
  const char* label;
  const char* modelName;  // nullptr: the row keeps `literalModel`
  std::uint32_t literalModel;
  std::uint32_t xBits, yBits, zBits;
};

// clang-format off
const std::array<SaloonRow, kSaloons> kSaloonRows = {{
    {"Valentine",    "U_M_M_VALBARTENDER_01", 0,          0xC39AC000, 0x444A2C29, 0x42F2999A},
    {"Valentine2",   "U_M_O_VALBARTENDER_01", 0,          0xC3718000, 0x444068F6, 0x42EC999A},
    {"Rhodes",       "U_M_M_RHDBARTENDER_01", 0,          0x44A6F333, 0xC4ABC000, 0x42A3CCCD},
    {"Annesburg",    nullptr,                 0xB807927B, 0x4538D8F6, 0x44A8C800, 0x423C851F},
    {"VanHorn",      "U_F_M_VHTBARTENDER_01", 0,          0x45382000, 0x4402D51F, 0x42355C29},
    {"SaintDenis",   "U_M_M_NBXBARTENDER_01", 0,          0x45249FD7, 0xC49960F6, 0x4255851F},
    {"SaintDenis2",  "U_M_M_NBXBARTENDER_02", 0,          0x452EBFD7, 0xC49210A4, 0x423FB852},
    {"Blackwater",   "U_M_O_BLWBARTENDER_01", 0,          0xC44BDB85, 0xC4A4ADC3, 0x422EC28F},
    {"Armadillo",    "U_M_O_ARMBARTENDER_01", 0,          0xC5676B85, 0xC5223AE1, 0xC1551EB8},
    {"Tumbleweed",   "U_M_M_TUMBARTENDER_01", 0,          0xC5AC46E1, 0xC536068F, 0xBFE00000},
    {"Strawberry",   nullptr,                 0x627F30B5, 0xC4DE1948, 0xC3B92CCD, 0x431CF5C3},
    {"EmeraldRanch", nullptr,                 0x904CC489, 0x44B51571, 0x43BA8148, 0x42B3C7AE},
    {"Morningstar",  nullptr,                 0xC05D40F3, 0xC428C51F, 0xC49F23D7, 0x4227A3D7},
}};
// clang-format on

std::uint32_t expectedModel(std::size_t row) {
  const SaloonRow& saloon = kSaloonRows[row];
  return saloon.modelName != nullptr ? sim::hashOfName(saloon.modelName) : saloon.literalModel;
}

std::vector<std::string> namesHashed(const std::vector<sim::Call>& calls) {
  std::vector<std::string> names;
  for (const sim::Call& call : callsOf(calls, hashOfName.hash)) {
    names.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.args.at(0))));
  }
  return names;
}

// The nine model names in row order, as the game is asked for them.
std::vector<std::string> nineNames() {
  std::vector<std::string> names;
  for (const SaloonRow& row : kSaloonRows) {
    if (row.modelName != nullptr) names.emplace_back(row.modelName);
  }
  return names;
}

class SaloonTable : public DirectorTest {};

TEST_F(SaloonTable, FirstPassHashesTheNineNamesForTheTableThenForTheBartenderSet) {
  world().clockMs = 10;  // held at the gate: only the names
  start();
  const std::vector<std::string> nine = nineNames();
  std::vector<std::string> twice = nine;
  twice.insert(twice.end(), nine.begin(), nine.end());
  EXPECT_EQ(namesHashed(tick()), twice);
}

TEST_F(SaloonTable, LaterPassesHashTheNineNamesOnce) {
  addPlayer(world());
  start();
  tick();  // the first pass, which scans
  for (int pass = 2; pass <= 4; ++pass) {
    EXPECT_EQ(namesHashed(tick()), nineNames()) << "pass " << pass;
  }
}

TEST_F(SaloonTable, EachTriggerPointIsTestedWithItsExactBits) {
  addPlayer(world());
  start();
  const std::vector<sim::Call> tests = callsOf(tick(), isEventInSphere.hash);
  ASSERT_EQ(tests.size(), 13u * 5u);
  for (std::size_t row = 0; row < 13; ++row) {
    const SaloonRow& saloon = kSaloonRows[row];
    for (std::size_t type = 0; type < 5; ++type) {
      SCOPED_TRACE(::testing::Message() << saloon.label << ", event type #" << type);
      const std::vector<std::uint64_t> expected = {kTriggerEvents[type], saloon.xBits, saloon.yBits,
                                                   saloon.zBits, kEventRadiusBits};
      EXPECT_EQ(tests[row * 5 + type].args, expected);
    }
  }
}

// A ped of the row's bartender model standing at the row's trigger point flees when that saloon
// is hit: each row carries its own model and its own point.
TEST_F(SaloonTable, EveryRowsBartenderFleesFromItsOwnSaloon) {
  for (int row = 0; row < kSaloons; ++row) {
    SCOPED_TRACE(kSaloonRows[static_cast<std::size_t>(row)].label);
    restart();
    addPlayer(world());
    const sim::Ped bartender = addPed(world(), 2, triggerPoint(row),
                                      {.model = expectedModel(static_cast<std::size_t>(row))});
    addEvent(world(), kTriggerEvents[0], triggerPoint(row));
    start();
    Calls expected = firstScan();
    expected.quietRows(0, row - 1).eventTests(row, 0);
    expected.filter(*world().findPed(kPlayer), row, FilterEnd::Player);
    expected.filter(bartender, row, FilterEnd::Model).flee(2);
    expected.quietRows(row + 1, 12).wait();
    EXPECT_TRUE(SameCalls(tick(), expected));
  }
}

TEST_F(SaloonTable, LiteralModelOfEmeraldRanchIsTheHashOfValentine2sName) {
  EXPECT_EQ(sim::hashOfName("U_M_O_VALBARTENDER_01"), 0x904CC489u);
  EXPECT_EQ(bartenderModel(11), bartenderModel(1));
}

// ----- the table as linked into this program -----

// The table fills once per process; this program keeps whatever the first of these tests filled.
class LinkedSaloonTable : public ::testing::Test {
 protected:
  void SetUp() override { sim::resetWorld(); }
};

TEST_F(LinkedSaloonTable, RowsHoldTheirLabelsModelsAndPointBits) {
  const fraywick::SaloonTable& table = fraywick::saloonTable();
  ASSERT_EQ(table.size(), 13u);
  for (std::size_t row = 0; row < 13; ++row) {
    const SaloonRow& want = kSaloonRows[row];
    const fraywick::Saloon& got = table[row];
    SCOPED_TRACE(want.label);
    EXPECT_STREQ(got.name, want.label);
    EXPECT_EQ(got.bartenderModel, expectedModel(row));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got.triggerPoint.x), want.xBits);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got.triggerPoint.y), want.yBits);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got.triggerPoint.z), want.zBits);
    EXPECT_EQ(got.triggerPoint.unusedX, 0u);
    EXPECT_EQ(got.triggerPoint.unusedY, 0u);
    EXPECT_EQ(got.triggerPoint.unusedZ, 0u);
  }
}

TEST_F(LinkedSaloonTable, BartenderSetHoldsEveryRowsModelAndNoOther) {
  const fraywick::BartenderModelSet set = fraywick::buildBartenderModelSet();
  std::vector<std::string> names;
  for (const sim::Call& call : sim::world().calls) {
    ASSERT_EQ(call.hash, hashOfName.hash);
    names.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.args.at(0))));
  }
  EXPECT_EQ(names, nineNames());
  for (std::size_t row = 0; row < kSaloonRows.size(); ++row) {
    EXPECT_TRUE(set.contains(expectedModel(row))) << kSaloonRows[row].label;
  }
  for (const std::uint32_t other : {0u, kTownsfolkModel, 0x904CC488u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(set.contains(other)) << std::hex << other;
  }
}

// Unused entries are zero, and zero is no model that was inserted.
TEST_F(LinkedSaloonTable, BartenderSetHoldsExactlyWhatWasInserted) {
  fraywick::BartenderModelSet set;
  EXPECT_FALSE(set.contains(0));
  for (const std::uint32_t model : {7u, 9u, 7u}) set.insert(model);
  EXPECT_TRUE(set.contains(7));
  EXPECT_TRUE(set.contains(9));
  EXPECT_FALSE(set.contains(0));
  EXPECT_FALSE(set.contains(8));
}

}  // namespace
}  // namespace fraywick::testing
