#include "sim/world.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "host/natives.h"

namespace sim {
namespace {

float distance(Vec3 a, Vec3 b, bool useZ) {
  const float dx = a.x - b.x;
  const float dy = a.y - b.y;
  const float dz = useZ ? a.z - b.z : 0.0f;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::string hex(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

// Misuse is reported out of line, so the protocol's fast path stays small enough to inline.
[[gnu::noinline, gnu::cold]] void misuse(std::vector<std::string>& errors, const char* what) {
  errors.emplace_back(what);
}
[[gnu::noinline, gnu::cold]] void misuse(std::vector<std::string>& errors, const char* before,
                                         std::uint64_t hash, const char* after) {
  errors.push_back(before + hex(hash) + after);
}

}  // namespace

const char* nativeName(std::uint64_t hash) {
  const fraywick::NativeInfo* info = fraywick::nativeInfo(hash);
  return info != nullptr ? info->name : nullptr;
}

World::World() = default;

Ped& World::addPed(const Ped& ped) {
  peds.push_back(ped);
  return peds.back();
}

Ped* World::findPed(std::int32_t handle) {
  // The same ped again, or the next one in line: the common cases, in constant time.
  for (std::size_t i = lookupHint_; i < peds.size() && i < lookupHint_ + 2; ++i) {
    if (peds[i].handle == handle) {
      lookupHint_ = i;
      return &peds[i];
    }
  }
  for (std::size_t i = 0; i < peds.size(); ++i) {
    if (peds[i].handle == handle) {
      lookupHint_ = i;
      return &peds[i];
    }
  }
  return nullptr;
}

std::int32_t World::nextHandle() const {
  std::int32_t highest = 0;
  for (const Ped& ped : peds) highest = std::max(highest, ped.handle);
  return highest + 1;
}

std::uint32_t World::nextRandom() {
  if (!rngSeeded_) {
    rngState_ = randomSeed;
    rngSeeded_ = true;
  }
  // splitmix64: small, fast and the same on every platform.
  std::uint64_t z = (rngState_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

void World::nativeInit(std::uint64_t hash) {
  if (inCall_ && recording) misuse(errors, "nativeInit ", hash, " inside an open call");
  hash_ = hash;
  argCount_ = 0;
  inCall_ = true;
}

void World::nativePush64(std::uint64_t slot) {
  if (!inCall_) {
    misuse(errors, "nativePush64 without nativeInit");
    return;
  }
  if (argCount_ == kMaxSlots) {
    misuse(errors, "more than 32 slots pushed for ", hash_, "");
    return;
  }
  args_[argCount_++] = slot;
}

std::uint64_t* World::nativeCall() {
  if (!inCall_) {
    misuse(errors, "nativeCall without nativeInit");
    results_.fill(0);
    restOfResults_ = 0;
    return results_.data();
  }
  inCall_ = false;
  const std::uint64_t high = static_cast<std::uint64_t>(resultHighHalf) << 32;
  if (high == restOfResults_) {
    results_[0] = results_[1] = results_[2] = high;
  } else {
    results_.fill(high);
    restOfResults_ = high;
  }
  if (answers != nullptr) {
    answers->native(hash_, args_.data(), argCount_, results_.data());
  } else {
    answer();
  }
  if (recording || afterNative) recordNative();
  return results_.data();
}

void World::recordNative() {
  const fraywick::NativeInfo* info = fraywick::nativeInfo(hash_);
  Call call;
  call.kind = CallKind::Native;
  call.hash = hash_;
  call.args.assign(args_.begin(), args_.begin() + static_cast<std::ptrdiff_t>(argCount_));
  const int shown = info != nullptr ? info->resultSlots : 0;
  call.results.assign(results_.begin(), results_.begin() + shown);
  call.unknownNative = info == nullptr;
  if (afterNative) afterNative(*this, call);
  if (recording) calls.push_back(std::move(call));
}

void World::answer() {
  const auto low = [this](std::size_t i) {
    return i < argCount_ ? static_cast<std::uint32_t>(args_[i]) : 0u;
  };
  const auto handle = [&](std::size_t i) { return static_cast<std::int32_t>(low(i)); };
  const auto real = [&](std::size_t i) { return std::bit_cast<float>(low(i)); };
  const auto text = [this](std::size_t i) {
    return i < argCount_ ? reinterpret_cast<const char*>(static_cast<std::uintptr_t>(args_[i]))
                         : nullptr;
  };
  const auto put = [this](std::size_t i, std::uint32_t value) {
    results_[i] = (results_[i] & 0xFFFFFFFF00000000ull) | value;
  };
  const auto putFloat = [&](std::size_t i, float value) {
    put(i, std::bit_cast<std::uint32_t>(value));
  };
  const auto existing = [this](std::int32_t h) -> Ped* {
    Ped* ped = findPed(h);
    return ped != nullptr && ped->exists ? ped : nullptr;
  };
  // The ped that a native without a result acts on; none while effects are off.
  const auto target = [&](std::size_t i) { return effects ? existing(handle(i)) : nullptr; };

  switch (hash_) {
    case fraywick::hashOfName.hash: {
      const char* name = text(0);
      put(0, name != nullptr ? hashOfName(name) : 0);
      break;
    }
    case fraywick::playerPed.hash: {
      for (const Ped& ped : peds) {
        if (ped.player) {
          put(0, static_cast<std::uint32_t>(ped.handle));
          break;
        }
      }
      break;
    }
    case fraywick::entityExists.hash:
      put(0, existing(handle(0)) != nullptr ? 1 : 0);
      break;
    case fraywick::isPlayerPed.hash: {
      const Ped* ped = existing(handle(0));
      put(0, ped != nullptr && ped->player ? 1 : 0);
      break;
    }
    case fraywick::isHumanPed.hash: {
      const Ped* ped = existing(handle(0));
      put(0, ped != nullptr && ped->human ? 1 : 0);
      break;
    }
    case fraywick::isMalePed.hash: {
      const Ped* ped = existing(handle(0));
      put(0, ped != nullptr && ped->male ? 1 : 0);
      break;
    }
    case fraywick::entityPosition.hash: {
      const Ped* ped = existing(handle(0));
      const Vec3 at = ped != nullptr ? ped->position : Vec3{};
      putFloat(0, at.x);
      putFloat(1, at.y);
      putFloat(2, at.z);
      break;
    }
    case fraywick::distanceBetweenPoints.hash:
      putFloat(0, distance({real(0), real(1), real(2)}, {real(3), real(4), real(5)}, low(6) != 0));
      break;
    case fraywick::entityModel.hash: {
      const Ped* ped = existing(handle(0));
      put(0, ped != nullptr ? ped->model : 0);
      break;
    }
    case fraywick::setEntityInvincible.hash:
      if (Ped* ped = target(0); ped != nullptr && low(1) == 0) {
        ped->effects.invincibleCleared = true;
      }
      break;
    case fraywick::clearTasks.hash:
      if (Ped* ped = target(0)) {
        ped->effects.tasksCleared = true;
        ped->effects.fightTarget.reset();
        ped->effects.fleeingFrom.reset();
      }
      break;
    case fraywick::setEventBlocking.hash:
      if (Ped* ped = target(0); ped != nullptr && low(1) == 0) {
        ped->effects.eventBlockingCleared = true;
      }
      break;
    case fraywick::fleeFromPed.hash:
      if (Ped* ped = target(0)) ped->effects.fleeingFrom = handle(1);
      break;
    case fraywick::removeAllWeapons.hash:
      if (Ped* ped = target(0)) {
        ped->effects.weaponsRemoved = true;
        ped->effects.equippedWeapon.reset();
      }
      break;
    case fraywick::equipWeapon.hash:
      if (Ped* ped = target(0)) ped->effects.equippedWeapon = low(1);
      break;
    case fraywick::setConfigFlag.hash:
      if (Ped* ped = target(0); ped != nullptr && low(2) != 0) {
        ped->effects.combatAttributes.push_back(handle(1));
      }
      break;
    case fraywick::randomInRange.hash: {
      const std::int64_t lowBound = handle(0);
      const std::int64_t highBound = handle(1);
      std::int64_t value = lowBound;
      if (!forcedRandom.empty()) {
        value = forcedRandom.front();
        forcedRandom.pop_front();
      } else if (highBound > lowBound) {
        value = lowBound + static_cast<std::int64_t>(nextRandom() % (highBound - lowBound));
      }
      put(0, static_cast<std::uint32_t>(value));
      break;
    }
    case fraywick::setRelationshipGroup.hash:
      if (Ped* ped = target(0)) ped->effects.relationshipGroup = low(1);
      break;
    case fraywick::setGroupRelationship.hash:
      if (effects) groupRelationships[{low(1), low(2)}] = handle(0);
      break;
    case fraywick::fightPed.hash:
      if (Ped* ped = target(0)) ped->effects.fightTarget = handle(1);
      break;
    case fraywick::isEventInSphere.hash: {
      const Vec3 centre{real(1), real(2), real(3)};
      const float radius = real(4);
      bool active = false;
      for (const Event& event : events) {
        if (event.type == low(0) && event.activeFrom <= clockMs && clockMs < event.activeUntil &&
            distance(event.position, centre, true) <= radius) {
          active = true;
          break;
        }
      }
      put(0, active ? 1 : 0);
      break;
    }
    case fraywick::queryByName.hash: {
      std::int32_t value = 0;
      const char* name = text(0);
      if (name != nullptr && std::string_view(name) == "mudtown2") {
        for (const GuardSpan& span : guard) {
          if (span.from <= clockMs && clockMs < span.until) {
            value = span.value;
            break;
          }
        }
      }
      put(0, static_cast<std::uint32_t>(value));
      break;
    }
    default:
      misuse(errors, "unknown native ", hash_, "");
      results_.fill(0);
      restOfResults_ = 0;
      break;
  }
}

int World::worldGetAllPeds(int* out, int capacity) {
  int count = 0;
  for (const Ped& ped : peds) {
    if (!ped.exists) continue;
    if (count >= capacity) break;
    out[count++] = ped.handle;
  }
  if (answers != nullptr) count = answers->peds(out, capacity);
  const int returned = forcedPedCount.value_or(count);
  if (recording) {
    Call call;
    call.kind = CallKind::WorldGetAllPeds;
    call.args = {static_cast<std::uint64_t>(capacity)};
    call.results = {static_cast<std::uint64_t>(static_cast<std::uint32_t>(returned))};
    calls.push_back(std::move(call));
  }
  return returned;
}

void World::recordHookCall(CallKind kind, std::vector<std::uint64_t> args) {
  if (answers != nullptr) answers->hookCall(kind, args);
  if (!recording) return;
  Call call;
  call.kind = kind;
  call.args = std::move(args);
  calls.push_back(std::move(call));
}

std::size_t World::countNative(std::uint64_t hash) const {
  std::size_t count = 0;
  for (const Call& call : calls) count += call.kind == CallKind::Native && call.hash == hash;
  return count;
}

std::size_t World::countKind(CallKind kind) const {
  std::size_t count = 0;
  for (const Call& call : calls) count += call.kind == kind;
  return count;
}

}  // namespace sim
