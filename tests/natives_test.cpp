// The native-call protocol: how each argument form is encoded into a slot and how each result
// form is read back. The operations are called directly against the simulated hook.
#include "host/natives.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "sim/host.h"
#include "sim/world.h"

namespace fraywick {
namespace {

class NativesTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::resetWorld(); }
  sim::World& world() { return sim::world(); }
  const sim::Call& onlyCall() {
    EXPECT_EQ(world().calls.size(), 1u);
    return world().calls.back();
  }
};

TEST_F(NativesTest, SlotsAreZeroExtendedAndFloatsTravelAsTheirBits) {
  struct Row {
    const char* what;
    std::uint64_t slot;
    std::uint64_t expected;
  };
  const Row rows[] = {
      {"hash with the top bit set", toSlot(Hash{0xF5C6180C}), 0x00000000F5C6180Cull},
      {"negative handle", toSlot(Ped{-2}), 0x00000000FFFFFFFEull},
      {"int 16", toSlot(16), 16},
      {"true", toSlot(true), 1},
      {"false", toSlot(false), 0},
      {"100.0", toSlot(100.0f), 0x42C80000},
      {"3.0", toSlot(3.0f), 0x40400000},
      {"8.0", toSlot(8.0f), 0x41000000},
      {"-0.0", toSlot(-0.0f), 0x80000000},
  };
  for (const Row& row : rows) EXPECT_EQ(row.slot, row.expected) << row.what;
}

TEST_F(NativesTest, EventTestPushesEverySlotInCatalogueOrder) {
  isEventInSphere(0xF5C6180C, -309.5f, 808.69f, 121.3f, 8.0f);
  const sim::Call& call = onlyCall();
  EXPECT_EQ(call.hash, 0x9DB47E16060D6354ull);
  EXPECT_EQ(call.args, (std::vector<std::uint64_t>{0x00000000F5C6180Cull, 0xC39AC000, 0x444A2C29,
                                                   0x42F2999A, 0x41000000}));
}

TEST_F(NativesTest, FleePushesItsSevenSlots) {
  fleeFromPed(7, -3, 100.0f, 10000, 0, 3.0f, 0);
  EXPECT_EQ(onlyCall().args,
            (std::vector<std::uint64_t>{7, 0xFFFFFFFDull, 0x42C80000, 10000, 0, 0x40400000, 0}));
}

TEST_F(NativesTest, TextIsPassedAsTheAddressOfTheString) {
  static constexpr char kName[] = "mudtown2";
  queryByName(Text{kName});
  const sim::Call& call = onlyCall();
  EXPECT_EQ(call.hash, 0xE97BD36574F8B0A6ull);
  ASSERT_EQ(call.args.size(), 1u);
  EXPECT_EQ(call.args[0], reinterpret_cast<std::uintptr_t>(kName));
}

TEST_F(NativesTest, ResultsAreReadFromTheLowHalvesOnly) {
  world().resultHighHalf = 0xDEADBEEF;
  sim::Ped& ped = world().addPed({});
  ped.handle = 5;
  ped.position = {1.5f, -2.25f, 3.0f};
  ped.model = 0x904CC489;

  EXPECT_TRUE(entityExists(5));
  EXPECT_FALSE(entityExists(6));
  EXPECT_EQ(entityModel(5), 0x904CC489u);
  const PaddedVector3 at = entityPosition(5, 0, 1);
  EXPECT_EQ(at.x, 1.5f);
  EXPECT_EQ(at.y, -2.25f);
  EXPECT_EQ(at.z, 3.0f);
  EXPECT_EQ(at.unusedX | at.unusedY | at.unusedZ, 0u);
  EXPECT_EQ(distanceBetweenPoints(0, 0, 0, 3, 4, 0, 1), 5.0f);
  world().forcedRandom = {-7};
  EXPECT_EQ(randomInRange(-10, 10), -7);
}

TEST_F(NativesTest, EveryOperationMakesExactlyOneCallWithItsHash) {
  struct Row {
    const char* name;
    std::uint64_t hash;
    std::size_t slots;
    void (*call)();
  };
  static constexpr char kWeapon[] = "WEAPON_UNARMED";
  const Row rows[] = {
      {"hashOfName", 0xFD340785ADF8CFB7, 1, [] { hashOfName(Text{kWeapon}); }},
      {"playerPed", 0x096275889B8E0EE0, 0, [] { playerPed(); }},
      {"entityExists", 0xD42BD6EB2E0F1677, 1, [] { entityExists(1); }},
      {"isPlayerPed", 0x12534C348C6CB68B, 1, [] { isPlayerPed(1); }},
      {"isHumanPed", 0xB980061DA992779D, 1, [] { isHumanPed(1); }},
      {"isMalePed", 0x6D9F5FAA7488BA46, 1, [] { isMalePed(1); }},
      {"entityPosition", 0xA86D5F069399F44D, 3, [] { entityPosition(1, 0, 1); }},
      {"distanceBetweenPoints", 0x0BE7F4E3CDBAFB28, 7,
       [] { distanceBetweenPoints(0, 0, 0, 0, 0, 0, 1); }},
      {"entityModel", 0xDA76A9F39210D365, 1, [] { entityModel(1); }},
      {"setEntityInvincible", 0xA5C38736C426FCB8, 2, [] { setEntityInvincible(1, false); }},
      {"clearTasks", 0xE1EF3C1216AFF2CD, 3, [] { clearTasks(1, 1, 1); }},
      {"setEventBlocking", 0x9F8AA94D6D97DBF4, 2, [] { setEventBlocking(1, false); }},
      {"fleeFromPed", 0x22B0D0E37CCB840D, 7, [] { fleeFromPed(1, 2, 100.0f, 10000, 0, 3.0f, 0); }},
      {"removeAllWeapons", 0xF25DF915FA38C5F3, 3, [] { removeAllWeapons(1, 1, 1); }},
      {"equipWeapon", 0xADF692B254977C0C, 6, [] { equipWeapon(1, 2, 1, 0, 1, 1); }},
      {"setConfigFlag", 0x9F7794730795E019, 3, [] { setConfigFlag(1, 5, true); }},
      {"randomInRange", 0xD53343AA4FB7DD28, 2, [] { randomInRange(0, 1); }},
      {"setRelationshipGroup", 0xC80A74AC829DDD92, 2, [] { setRelationshipGroup(1, 4096); }},
      {"setGroupRelationship", 0xBF25EB89375A37AD, 3, [] { setGroupRelationship(5, 1, 2); }},
      {"fightPed", 0xF166E48407BAC484, 4, [] { fightPed(1, 2, 0, 16); }},
      {"isEventInSphere", 0x9DB47E16060D6354, 5, [] { isEventInSphere(1, 0, 0, 0, 8.0f); }},
      {"queryByName", 0xE97BD36574F8B0A6, 1, [] { queryByName(Text{kWeapon}); }},
  };
  for (const Row& row : rows) {
    world().calls.clear();
    row.call();
    ASSERT_EQ(world().calls.size(), 1u) << row.name;
    EXPECT_EQ(world().calls[0].hash, row.hash) << row.name;
    EXPECT_EQ(world().calls[0].args.size(), row.slots) << row.name;
    EXPECT_FALSE(world().calls[0].unknownNative) << row.name;
    EXPECT_STREQ(sim::nativeName(row.hash), row.name);
  }
  EXPECT_TRUE(world().errors.empty());
}

TEST_F(NativesTest, TheGamesNameHashLowerCasesFirst) {
  static constexpr char kUpper[] = "U_M_O_VALBARTENDER_01";
  static constexpr char kLower[] = "u_m_o_valbartender_01";
  EXPECT_EQ(hashOfName(Text{kUpper}), 0x904CC489u);
  EXPECT_EQ(hashOfName(Text{kLower}), 0x904CC489u);
}

TEST_F(NativesTest, RandomInRangeWithBoundsZeroAndOneAlwaysGivesZero) {
  for (int i = 0; i < 200; ++i) ASSERT_EQ(randomInRange(0, 1), 0);
}

TEST_F(NativesTest, AnUnknownNativeIsAnErrorNotAnAnswer) {
  nativeInit(0x1234);
  nativeCall();
  ASSERT_EQ(world().errors.size(), 1u);
  EXPECT_TRUE(world().calls.back().unknownNative);
  world().errors.clear();
}

}  // namespace
}  // namespace fraywick
