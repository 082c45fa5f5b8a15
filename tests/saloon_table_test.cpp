// The thirteen saloons: which bartender model each row holds (nine asked of the game by name,
// four kept as literal hashes) and the exact float bits of each trigger point. Seen from outside
// through what the module pushes, and from inside through the linked table.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "brawl/saloons.h"
#include "sim/host.h"
#include "support/director_support.h"

namespace fraywick::testing {
namespace {

std::vector<std::string> namesHashed(const std::vector<sim::Call>& calls) {
  std::vector<std::string> names;
  for (const sim::Call& call : callsOf(calls, hashes::kHashOfName)) {
    names.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.args.at(0))));
  }
  return names;
}

const std::vector<std::string> kNineNames = {
    "U_M_M_VALBARTENDER_01", "U_M_O_VALBARTENDER_01", "U_M_M_RHDBARTENDER_01",
    "U_F_M_VHTBARTENDER_01", "U_M_M_NBXBARTENDER_01", "U_M_M_NBXBARTENDER_02",
    "U_M_O_BLWBARTENDER_01", "U_M_O_ARMBARTENDER_01", "U_M_M_TUMBARTENDER_01",
};

class SaloonTable : public DirectorTest {};

TEST_F(SaloonTable, FirstPassHashesTheNineNamesForTheTableThenForTheBartenderSet) {
  world().clockMs = 10;  // held at the gate: only the names
  start();
  std::vector<std::string> twice = kNineNames;
  twice.insert(twice.end(), kNineNames.begin(), kNineNames.end());
  EXPECT_EQ(namesHashed(tick()), twice);
}

TEST_F(SaloonTable, LaterPassesHashTheNineNamesOnce) {
  addPlayer(world());
  start();
  tick();  // the first pass, which scans
  for (int pass = 2; pass <= 4; ++pass) {
    EXPECT_EQ(namesHashed(tick()), kNineNames) << "pass " << pass;
  }
}

TEST_F(SaloonTable, EachTriggerPointIsTestedWithItsExactBits) {
  addPlayer(world());
  start();
  const std::vector<sim::Call> tests = callsOf(tick(), hashes::kIsEventInSphere);
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
    const sim::Ped bartender =
        addPed(world(), 2, triggerPoint(row), {.model = bartenderModel(row)});
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
    EXPECT_EQ(got.bartenderModel, bartenderModel(static_cast<int>(row)));
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
    ASSERT_EQ(call.hash, hashes::kHashOfName);
    names.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.args.at(0))));
  }
  EXPECT_EQ(names, kNineNames);
  for (int row = 0; row < kSaloons; ++row) {
    EXPECT_TRUE(set.contains(bartenderModel(row)))
        << kSaloonRows[static_cast<std::size_t>(row)].label;
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
