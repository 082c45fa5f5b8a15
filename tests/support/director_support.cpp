#include "support/director_support.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace fraywick::testing {

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

std::vector<const char*> hashedModelNames() {
  std::vector<const char*> names;
  for (const SaloonRow& row : kSaloonRows) {
    if (row.modelName != nullptr) names.push_back(row.modelName);
  }
  return names;
}

std::uint32_t bartenderModel(int row) {
  const SaloonRow& saloon = kSaloonRows.at(static_cast<std::size_t>(row));
  return saloon.modelName != nullptr ? sim::hashOfName(saloon.modelName) : saloon.literalModel;
}

sim::Vec3 triggerPoint(int row) {
  const SaloonRow& saloon = kSaloonRows.at(static_cast<std::size_t>(row));
  return {std::bit_cast<float>(saloon.xBits), std::bit_cast<float>(saloon.yBits),
          std::bit_cast<float>(saloon.zBits)};
}

sim::Ped addPlayer(sim::World& world, std::int32_t handle) {
  sim::Ped player;
  player.handle = handle;
  player.player = true;
  player.position = {0.0f, 0.0f, 0.0f};  // more than 300 m from every saloon
  player.label = "player";
  return world.addPed(player);
}

sim::Ped addPed(sim::World& world, std::int32_t handle, sim::Vec3 position, PedTraits traits) {
  sim::Ped ped;
  ped.handle = handle;
  ped.position = position;
  ped.model = traits.model;
  ped.male = traits.male;
  ped.human = traits.human;
  return world.addPed(ped);
}

sim::Vec3 pointAtDistance(int row, float distance) {
  const sim::Vec3 centre = triggerPoint(row);
  for (int axis = 0; axis < 3; ++axis) {
    for (const float sign : {1.0f, -1.0f}) {
      sim::Vec3 point = centre;
      float* coordinate = axis == 0 ? &point.x : axis == 1 ? &point.y : &point.z;
      const float from = *coordinate;
      *coordinate = from + sign * distance;
      // The game measures from the ped back to the point, in floats.
      const float offset = *coordinate - from;
      if (std::fabs(offset) == distance && std::sqrt(offset * offset) == distance) return point;
    }
  }
  ADD_FAILURE() << "no axis of row " << row << " puts a point at exactly " << distance << " m";
  return centre;
}

void addEvent(sim::World& world, std::uint32_t type, sim::Vec3 position) {
  sim::Event event;
  event.type = type;
  event.position = position;
  event.activeFrom = 0;
  event.activeUntil = UINT64_MAX;
  world.events.push_back(event);
}

Slot I(std::int32_t value) {
  return {static_cast<std::uint32_t>(value), nullptr};
}
Slot H(std::uint32_t value) {
  return {value, nullptr};
}
Slot F(float value) {
  return {std::bit_cast<std::uint32_t>(value), nullptr};
}
Slot FB(std::uint32_t bits) {
  return {bits, nullptr};
}
Slot T(const char* text) {
  return {reinterpret_cast<std::uintptr_t>(text), text};
}

// ----- expected sequences -----

Calls& Calls::native(std::uint64_t hash, std::initializer_list<Slot> slots) {
  calls_.push_back({sim::CallKind::Native, hash, slots});
  return *this;
}

Calls& Calls::append(const Calls& other) {
  calls_.insert(calls_.end(), other.calls_.begin(), other.calls_.end());
  return *this;
}

Calls& Calls::guard() {
  return native(hashes::kQueryByName, {T("mudtown2")});
}

Calls& Calls::wait() {
  calls_.push_back({sim::CallKind::ScriptWait, 0, {I(0)}});
  return *this;
}

Calls& Calls::tableFill() {
  for (const char* name : hashedModelNames()) native(hashes::kHashOfName, {T(name)});
  return *this;
}

Calls& Calls::bartenderSet() {
  return tableFill();  // the same nine names in the same order
}

Calls& Calls::playerCheck(std::int32_t player) {
  native(hashes::kPlayerPed, {});
  return native(hashes::kEntityExists, {I(player)});
}

Calls& Calls::snapshot() {
  calls_.push_back({sim::CallKind::WorldGetAllPeds, 0, {I(256)}});
  return *this;
}

Calls& Calls::eventTests(int row, int hitAt) {
  const SaloonRow& saloon = kSaloonRows.at(static_cast<std::size_t>(row));
  const int last = std::min(hitAt, 4);
  for (int type = 0; type <= last; ++type) {
    native(hashes::kIsEventInSphere,
           {H(kTriggerEvents[static_cast<std::size_t>(type)]), FB(saloon.xBits), FB(saloon.yBits),
            FB(saloon.zBits), FB(kEventRadiusBits)});
  }
  return *this;
}

Calls& Calls::quietRows(int first, int last) {
  for (int row = first; row <= last; ++row) eventTests(row);
  return *this;
}

Calls& Calls::filter(const sim::Ped& ped, int row, FilterEnd end, bool asksMale) {
  const std::int32_t p = ped.handle;
  native(hashes::kEntityExists, {I(p)});
  if (end == FilterEnd::Exists) return *this;
  native(hashes::kIsPlayerPed, {I(p)});
  if (end == FilterEnd::Player) return *this;
  native(hashes::kIsHumanPed, {I(p)});
  if (end == FilterEnd::Human) return *this;
  if (asksMale) native(hashes::kIsMalePed, {I(p)});
  if (end == FilterEnd::Male) return *this;
  const SaloonRow& saloon = kSaloonRows.at(static_cast<std::size_t>(row));
  native(hashes::kEntityPosition, {I(p), I(0), I(1)});
  native(hashes::kDistanceBetweenPoints,
         {F(ped.position.x), F(ped.position.y), F(ped.position.z), FB(saloon.xBits),
          FB(saloon.yBits), FB(saloon.zBits), I(1)});
  if (end == FilterEnd::Distance) return *this;
  return native(hashes::kEntityModel, {I(p)});
}

Calls& Calls::flee(std::int32_t ped, std::int32_t player) {
  native(hashes::kSetEntityInvincible, {I(ped), I(0)});
  native(hashes::kClearTasks, {I(ped), I(1), I(1)});
  native(hashes::kSetEventBlocking, {I(ped), I(0)});
  return native(hashes::kFleeFromPed, {I(ped), I(player), FB(kFleeDistanceBits), I(10000), I(0),
                                       FB(kFleeThreeBits), I(0)});
}

Calls& Calls::recruit(std::int32_t ped, std::uint32_t group) {
  native(hashes::kRemoveAllWeapons, {I(ped), I(1), I(1)});
  native(hashes::kHashOfName, {T("WEAPON_UNARMED")});
  native(hashes::kEquipWeapon,
         {I(ped), H(sim::hashOfName("WEAPON_UNARMED")), I(1), I(0), I(1), I(1)});
  for (const int flag : kBrawlerFlags) native(hashes::kSetConfigFlag, {I(ped), I(flag), I(1)});
  native(hashes::kRandomInRange, {I(4096), I(65535)});
  return native(hashes::kSetRelationshipGroup, {I(ped), H(group)});
}

Calls& Calls::hate(const std::vector<std::uint32_t>& groups) {
  for (std::size_t i = 0; i < groups.size(); ++i) {
    for (std::size_t j = 0; j < groups.size(); ++j) {
      if (i != j) native(hashes::kSetGroupRelationship, {I(5), H(groups[i]), H(groups[j])});
    }
  }
  return *this;
}

Calls& Calls::draw(int brawlers) {
  return native(hashes::kRandomInRange, {I(0), I(brawlers)});
}

Calls& Calls::fight(std::int32_t ped, std::int32_t target) {
  return native(hashes::kFightPed, {I(ped), I(target), I(0), I(16)});
}

// ----- describing and comparing -----

namespace {

// How each native's slots and result read: i int/handle/bool, h hash, f float, t text,
// v vector (results only), - no result.
struct Form {
  std::uint64_t hash;
  const char* name;
  const char* slots;
  char result;
};

constexpr Form kForms[] = {
    {hashes::kHashOfName, "hashOfName", "t", 'h'},
    {hashes::kPlayerPed, "playerPed", "", 'i'},
    {hashes::kEntityExists, "entityExists", "i", 'i'},
    {hashes::kIsPlayerPed, "isPlayerPed", "i", 'i'},
    {hashes::kIsHumanPed, "isHumanPed", "i", 'i'},
    {hashes::kIsMalePed, "isMalePed", "i", 'i'},
    {hashes::kEntityPosition, "entityPosition", "iii", 'v'},
    {hashes::kDistanceBetweenPoints, "distanceBetweenPoints", "ffffffi", 'f'},
    {hashes::kEntityModel, "entityModel", "i", 'h'},
    {hashes::kSetEntityInvincible, "setEntityInvincible", "ii", '-'},
    {hashes::kClearTasks, "clearTasks", "iii", '-'},
    {hashes::kSetEventBlocking, "setEventBlocking", "ii", '-'},
    {hashes::kFleeFromPed, "fleeFromPed", "iifiifi", '-'},
    {hashes::kRemoveAllWeapons, "removeAllWeapons", "iii", '-'},
    {hashes::kEquipWeapon, "equipWeapon", "ihiiii", '-'},
    {hashes::kSetConfigFlag, "setConfigFlag", "iii", '-'},
    {hashes::kRandomInRange, "randomInRange", "ii", 'i'},
    {hashes::kSetRelationshipGroup, "setRelationshipGroup", "ih", '-'},
    {hashes::kSetGroupRelationship, "setGroupRelationship", "ihh", '-'},
    {hashes::kFightPed, "fightPed", "iiii", '-'},
    {hashes::kIsEventInSphere, "isEventInSphere", "hffff", 'i'},
    {hashes::kQueryByName, "queryByName", "t", 'i'},
};

const Form* formOf(std::uint64_t hash) {
  for (const Form& form : kForms) {
    if (form.hash == hash) return &form;
  }
  return nullptr;
}

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string hex64(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

std::string describeFloat(std::uint32_t bits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.9gf[%08X]", static_cast<double>(std::bit_cast<float>(bits)),
                bits);
  return text;
}

std::string describeSlot(std::uint64_t slot, char form) {
  if (form == 't') {
    // Texts live in the plug-in's (or the test's) constant storage; a null or tiny value is
    // shown as a number rather than followed.
    if (slot < 0x10000) return "text@" + hex64(slot);
    return "\"" + std::string(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(slot))) +
           "\"";
  }
  const auto low = static_cast<std::uint32_t>(slot);
  if ((slot >> 32) != 0) return "raw:" + hex64(slot);  // the high half must stay zero
  switch (form) {
    case 'h':
      return hex32(low);
    case 'f':
      return describeFloat(low);
    default:
      return std::to_string(static_cast<std::int32_t>(low));
  }
}

std::string describeResult(const sim::Call& call) {
  if (call.kind == sim::CallKind::WorldGetAllPeds) {
    return call.results.empty()
               ? ""
               : " -> " + std::to_string(static_cast<std::int32_t>(call.results[0]));
  }
  const Form* form = call.kind == sim::CallKind::Native ? formOf(call.hash) : nullptr;
  if (form == nullptr || form->result == '-' || call.results.empty()) return "";
  const auto low = [&call](std::size_t i) {
    return i < call.results.size() ? static_cast<std::uint32_t>(call.results[i]) : 0u;
  };
  switch (form->result) {
    case 'h':
      return " -> " + hex32(low(0));
    case 'f':
      return " -> " + describeFloat(low(0));
    case 'v':
      return " -> (" + describeFloat(low(0)) + ", " + describeFloat(low(1)) + ", " +
             describeFloat(low(2)) + ")";
    default:
      return " -> " + std::to_string(static_cast<std::int32_t>(low(0)));
  }
}

sim::Call toCall(const Calls::Expected& expected) {
  sim::Call call;
  call.kind = expected.kind;
  call.hash = expected.hash;
  for (const Slot& slot : expected.slots) call.args.push_back(slot.value);
  return call;
}

bool matches(const sim::Call& actual, const Calls::Expected& expected) {
  if (actual.kind != expected.kind || actual.hash != expected.hash ||
      actual.args.size() != expected.slots.size()) {
    return false;
  }
  for (std::size_t i = 0; i < actual.args.size(); ++i) {
    const Slot& slot = expected.slots[i];
    if (slot.text == nullptr) {
      if (actual.args[i] != slot.value) return false;
    } else if (actual.args[i] < 0x10000 ||
               std::strcmp(
                   reinterpret_cast<const char*>(static_cast<std::uintptr_t>(actual.args[i])),
                   slot.text) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string describe(const sim::Call& call) {
  std::ostringstream out;
  if (call.kind != sim::CallKind::Native) {
    out << sim::callKindName(call.kind) << "(";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
      out << (i > 0 ? ", " : "") << describeSlot(call.args[i], 'i');
    }
    out << ")";
    return out.str();
  }
  const Form* form = formOf(call.hash);
  out << (form != nullptr ? form->name : "native " + hex64(call.hash)) << "(";
  const std::string slots = form != nullptr ? form->slots : "";
  for (std::size_t i = 0; i < call.args.size(); ++i) {
    const char kind = i < slots.size() ? slots[i] : 'x';
    out << (i > 0 ? ", " : "")
        << (kind == 'x' ? "extra:" + hex64(call.args[i]) : describeSlot(call.args[i], kind));
  }
  if (call.args.size() < slots.size())
    out << ", <" << slots.size() - call.args.size() << " slots missing>";
  out << ")";
  return out.str();
}

std::vector<sim::Call> recordedCalls(const sim::World& world) {
  std::vector<sim::Call> calls;
  for (const sim::Call& call : world.calls) {
    if (call.kind == sim::CallKind::Native || call.kind == sim::CallKind::WorldGetAllPeds ||
        call.kind == sim::CallKind::ScriptWait) {
      calls.push_back(call);
    }
  }
  return calls;
}

std::vector<sim::Call> callsOf(const std::vector<sim::Call>& calls, std::uint64_t hash) {
  std::vector<sim::Call> selected;
  for (const sim::Call& call : calls) {
    if (call.kind == sim::CallKind::Native && call.hash == hash) selected.push_back(call);
  }
  return selected;
}

Calls firstScan(std::int32_t player) {
  Calls calls;
  return calls.guard().tableFill().bartenderSet().playerCheck(player).snapshot();
}

Calls laterScan(std::int32_t player) {
  Calls calls;
  return calls.guard().bartenderSet().playerCheck(player).snapshot();
}

void DirectorTest::start() {
  load();
  clearCalls();
}

std::vector<sim::Call> DirectorTest::tick() {
  clearCalls();
  runTicks(1);
  return recordedCalls(world());
}

void DirectorTest::restart() {
  unload();
  EXPECT_TRUE(world().errors.empty())
      << "the simulated hook saw misuse: " << world().errors.front();
  sim::resetWorld();
}

::testing::AssertionResult SameCalls(const std::vector<sim::Call>& actual, const Calls& expected) {
  const std::vector<Calls::Expected>& want = expected.list();
  const std::size_t common = std::min(actual.size(), want.size());
  std::size_t first = common;
  for (std::size_t i = 0; i < common; ++i) {
    if (!matches(actual[i], want[i])) {
      first = i;
      break;
    }
  }
  if (first == common && actual.size() == want.size()) return ::testing::AssertionSuccess();

  std::ostringstream out;
  out << "the calls differ first at #" << first << " (expected " << want.size()
      << " calls, recorded " << actual.size() << ")\n";
  const std::size_t from = first >= 4 ? first - 4 : 0;
  const std::size_t to = first + 8;
  for (std::size_t i = from; i < to && (i < want.size() || i < actual.size()); ++i) {
    const std::string expectedLine = i < want.size() ? describe(toCall(want[i])) : "<none>";
    const std::string actualLine = i < actual.size() ? describe(actual[i]) : "<none>";
    if (expectedLine == actualLine) {
      out << "    #" << i << "  " << actualLine << describeResult(actual[i]) << "\n";
    } else {
      out << "  - #" << i << "  expected " << expectedLine << "\n";
      out << "  + #" << i << "  recorded " << actualLine
          << (i < actual.size() ? describeResult(actual[i]) : "") << "\n";
    }
  }
  return ::testing::AssertionFailure() << out.str();
}

}  // namespace fraywick::testing
