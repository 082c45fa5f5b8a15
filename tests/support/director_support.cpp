#include "support/director_support.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "brawl/saloons.h"

namespace fraywick::testing {

namespace {

const SaloonSource& source(int row) {
  return kSaloonSources.at(static_cast<std::size_t>(row));
}

}  // namespace

const char* saloonName(int row) {
  return source(row).name;
}

std::vector<const char*> hashedModelNames() {
  std::vector<const char*> names;
  for (const SaloonSource& row : kSaloonSources) {
    if (row.bartenderName != nullptr) names.push_back(row.bartenderName);
  }
  return names;
}

std::uint32_t bartenderModel(int row) {
  const SaloonSource& saloon = source(row);
  return saloon.bartenderName != nullptr ? sim::hashOfName(saloon.bartenderName)
                                         : saloon.bartenderHash;
}

sim::Vec3 triggerPoint(int row) {
  const SaloonSource& saloon = source(row);
  return {saloon.x, saloon.y, saloon.z};
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
  return native(queryByName.hash, {T("mudtown2")});
}

Calls& Calls::wait() {
  calls_.push_back({sim::CallKind::ScriptWait, 0, {I(0)}});
  return *this;
}

Calls& Calls::tableFill() {
  for (const char* name : hashedModelNames()) native(hashOfName.hash, {T(name)});
  return *this;
}

Calls& Calls::bartenderSet() {
  return tableFill();  // the same nine names in the same order
}

Calls& Calls::playerCheck(std::int32_t player) {
  native(playerPed.hash, {});
  return native(entityExists.hash, {I(player)});
}

Calls& Calls::snapshot() {
  calls_.push_back({sim::CallKind::WorldGetAllPeds, 0, {I(256)}});
  return *this;
}

Calls& Calls::eventTests(int row, int hitAt) {
  const sim::Vec3 point = triggerPoint(row);
  const int last = std::min(hitAt, 4);
  for (int type = 0; type <= last; ++type) {
    native(isEventInSphere.hash, {H(kTriggerEvents[static_cast<std::size_t>(type)]), F(point.x),
                                  F(point.y), F(point.z), FB(kEventRadiusBits)});
  }
  return *this;
}

Calls& Calls::quietRows(int first, int last) {
  for (int row = first; row <= last; ++row) eventTests(row);
  return *this;
}

Calls& Calls::filter(const sim::Ped& ped, int row, FilterEnd end, bool asksMale) {
  const std::int32_t p = ped.handle;
  native(entityExists.hash, {I(p)});
  if (end == FilterEnd::Exists) return *this;
  native(isPlayerPed.hash, {I(p)});
  if (end == FilterEnd::Player) return *this;
  native(isHumanPed.hash, {I(p)});
  if (end == FilterEnd::Human) return *this;
  if (asksMale) native(isMalePed.hash, {I(p)});
  if (end == FilterEnd::Male) return *this;
  const sim::Vec3 point = triggerPoint(row);
  native(entityPosition.hash, {I(p), I(0), I(1)});
  native(distanceBetweenPoints.hash, {F(ped.position.x), F(ped.position.y), F(ped.position.z),
                                      F(point.x), F(point.y), F(point.z), I(1)});
  if (end == FilterEnd::Distance) return *this;
  return native(entityModel.hash, {I(p)});
}

Calls& Calls::flee(std::int32_t ped, std::int32_t player) {
  native(setEntityInvincible.hash, {I(ped), I(0)});
  native(clearTasks.hash, {I(ped), I(1), I(1)});
  native(setEventBlocking.hash, {I(ped), I(0)});
  return native(fleeFromPed.hash, {I(ped), I(player), FB(kFleeDistanceBits), I(10000), I(0),
                                   FB(kFleeThreeBits), I(0)});
}

Calls& Calls::recruit(std::int32_t ped, std::uint32_t group) {
  native(removeAllWeapons.hash, {I(ped), I(1), I(1)});
  native(hashOfName.hash, {T("WEAPON_UNARMED")});
  native(equipWeapon.hash, {I(ped), H(sim::hashOfName("WEAPON_UNARMED")), I(1), I(0), I(1), I(1)});
  for (const int flag : kBrawlerFlags) native(setConfigFlag.hash, {I(ped), I(flag), I(1)});
  native(randomInRange.hash, {I(4096), I(65535)});
  return native(setRelationshipGroup.hash, {I(ped), H(group)});
}

Calls& Calls::relationships(const std::vector<std::uint32_t>& groups) {
  for (std::size_t i = 0; i < groups.size(); ++i) {
    for (std::size_t j = 0; j < groups.size(); ++j) {
      if (i != j) native(setGroupRelationship.hash, {I(5), H(groups[i]), H(groups[j])});
    }
  }
  return *this;
}

Calls& Calls::draw(int brawlers) {
  return native(randomInRange.hash, {I(0), I(brawlers)});
}

Calls& Calls::fight(std::int32_t ped, std::int32_t target) {
  return native(fightPed.hash, {I(ped), I(target), I(0), I(16)});
}

// ----- describing and comparing -----

namespace {

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
  const NativeInfo* form = call.kind == sim::CallKind::Native ? nativeInfo(call.hash) : nullptr;
  if (form == nullptr || form->resultForm == '-' || call.results.empty()) return "";
  const auto low = [&call](std::size_t i) {
    return i < call.results.size() ? static_cast<std::uint32_t>(call.results[i]) : 0u;
  };
  switch (form->resultForm) {
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
  const NativeInfo* form = nativeInfo(call.hash);
  out << (form != nullptr ? form->name : "native " + hex64(call.hash)) << "(";
  const std::string slots = form != nullptr ? form->slotForms : "";
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
