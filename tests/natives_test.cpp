// The native-call protocol: how each argument form is encoded into a slot and how each result
// form is read back. The operations are called directly against the simulated hook.
#include "host/natives.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
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
  isEventInSphere(0xF5C6180C, -1.5f, 2.25f, 1000.0f, 8.0f);
  const sim::Call& call = onlyCall();
  EXPECT_EQ(call.hash, 0x9DB47E16060D6354ull);
  EXPECT_EQ(call.args, (std::vector<std::uint64_t>{0x00000000F5C6180Cull, 0xBFC00000, 0x40100000,
                                                   0x447A0000, 0x41000000}));
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

// The catalogue pinned by a copy of its own: hash, slot forms (i int, bool or handle; h hash;
// f float; t text) and result form of each of the 22 natives, with our name and the game's.
// Everything else (the simulated game, the recording layer and its reader, the demo, every other
// test) reads the catalogue in host/natives.h, so a wrong hash or slot there would agree with
// itself everywhere else and only the game would notice. The names matter too: traces and the
// recordings players send carry them, and a recording of an earlier release must still read.
TEST_F(NativesTest, EveryOperationMakesExactlyOneCallWithItsHash) {
  struct Row {
    const char* name;
    const char* gameName;
    std::uint64_t hash;
    const char* slots;
    char result;
    void (*call)();
  };
  static constexpr char kWeapon[] = "WEAPON_UNARMED";
  // clang-format off
  const Row rows[] = {
      {"hashOfName",            "GET_HASH_KEY",                         0xFD340785ADF8CFB7, "t",       'h', [] { hashOfName(Text{kWeapon}); }},
      {"playerPed",             "PLAYER_PED_ID",                        0x096275889B8E0EE0, "",        'i', [] { playerPed(); }},
      {"entityExists",          "DOES_ENTITY_EXIST",                    0xD42BD6EB2E0F1677, "i",       'i', [] { entityExists(1); }},
      {"isPlayerPed",           "IS_PED_A_PLAYER",                      0x12534C348C6CB68B, "i",       'i', [] { isPlayerPed(1); }},
      {"isHumanPed",            "IS_PED_HUMAN",                         0xB980061DA992779D, "i",       'i', [] { isHumanPed(1); }},
      {"isMalePed",             "IS_PED_MALE",                          0x6D9F5FAA7488BA46, "i",       'i', [] { isMalePed(1); }},
      {"entityPosition",        "GET_ENTITY_COORDS",                    0xA86D5F069399F44D, "iii",     'v', [] { entityPosition(1, 0, 1); }},
      {"distanceBetweenPoints", "GET_DISTANCE_BETWEEN_COORDS",          0x0BE7F4E3CDBAFB28, "ffffffi", 'f', [] { distanceBetweenPoints(0, 0, 0, 0, 0, 0, 1); }},
      {"entityModel",           "GET_ENTITY_MODEL",                     0xDA76A9F39210D365, "i",       'h', [] { entityModel(1); }},
      {"setEntityInvincible",   "SET_ENTITY_INVINCIBLE",                0xA5C38736C426FCB8, "ii",      '-', [] { setEntityInvincible(1, false); }},
      {"clearTasks",            "CLEAR_PED_TASKS",                      0xE1EF3C1216AFF2CD, "iii",     '-', [] { clearTasks(1, 1, 1); }},
      {"setEventBlocking",      "SET_BLOCKING_OF_NON_TEMPORARY_EVENTS", 0x9F8AA94D6D97DBF4, "ii",      '-', [] { setEventBlocking(1, false); }},
      {"fleeFromPed",           "TASK_SMART_FLEE_PED",                  0x22B0D0E37CCB840D, "iifiifi", '-', [] { fleeFromPed(1, 2, 100.0f, 10000, 0, 3.0f, 0); }},
      {"removeAllWeapons",      "REMOVE_ALL_PED_WEAPONS",               0xF25DF915FA38C5F3, "iii",     '-', [] { removeAllWeapons(1, 1, 1); }},
      {"equipWeapon",           "SET_CURRENT_PED_WEAPON",               0xADF692B254977C0C, "ihiiii",  '-', [] { equipWeapon(1, 2, 1, 0, 1, 1); }},
      {"setConfigFlag",         "SET_PED_COMBAT_ATTRIBUTES",            0x9F7794730795E019, "iii",     '-', [] { setConfigFlag(1, 5, true); }},
      {"randomInRange",         "GET_RANDOM_INT_IN_RANGE",              0xD53343AA4FB7DD28, "ii",      'i', [] { randomInRange(0, 1); }},
      {"setRelationshipGroup",  "SET_PED_RELATIONSHIP_GROUP_HASH",      0xC80A74AC829DDD92, "ih",      '-', [] { setRelationshipGroup(1, 4096); }},
      {"setGroupRelationship",  "SET_RELATIONSHIP_BETWEEN_GROUPS",      0xBF25EB89375A37AD, "ihh",     '-', [] { setGroupRelationship(5, 1, 2); }},
      {"fightPed",              "TASK_COMBAT_PED",                      0xF166E48407BAC484, "iiii",    '-', [] { fightPed(1, 2, 0, 16); }},
      {"isEventInSphere",       "IS_SHOCKING_EVENT_IN_SPHERE",          0x9DB47E16060D6354, "hffff",   'i', [] { isEventInSphere(1, 0, 0, 0, 8.0f); }},
      {"queryByName",           "HAS_SCRIPT_LOADED",                    0xE97BD36574F8B0A6, "t",       'i', [] { queryByName(Text{kWeapon}); }},
  };
  // clang-format on
  ASSERT_EQ(std::size(kNatives), std::size(rows)) << "the catalogue has a native this copy lacks";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    world().calls.clear();
    row.call();
    ASSERT_EQ(world().calls.size(), 1u);
    EXPECT_EQ(world().calls[0].hash, row.hash);
    EXPECT_EQ(world().calls[0].args.size(), std::strlen(row.slots));
    EXPECT_FALSE(world().calls[0].unknownNative);
    const NativeInfo* native = nativeInfo(row.hash);
    ASSERT_NE(native, nullptr);
    EXPECT_STREQ(native->name, row.name);
    EXPECT_STREQ(native->gameName, row.gameName);
    EXPECT_STREQ(native->slotForms, row.slots);
    EXPECT_EQ(native->slots, std::strlen(row.slots));
    EXPECT_EQ(native->resultForm, row.result);
    EXPECT_EQ(native->resultSlots, row.result == '-' ? 0 : row.result == 'v' ? 3 : 1);
    EXPECT_EQ(native->text, row.slots[0] == 't');
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
