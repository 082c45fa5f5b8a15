// What a recording needs to know of each native, taken from the plug-in's own catalogue
// (host/natives.h): its name, how many slots the plug-in pushes, how many result slots the game
// fills, and whether the first slot is a text. The recording layer writes by it; fraywick-sim's
// reader checks each recorded call against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "host/natives.h"

namespace fraywick::diag {

struct NativeSignature {
  std::uint64_t hash;
  const char* name;
  std::size_t slots;
  int resultSlots;
  bool text;
};

template <std::uint64_t H, class R, class... Args>
constexpr NativeSignature signatureOf(const NativeOp<H, R, Args...>&, const char* name) {
  const int results = std::is_void_v<R> ? 0 : std::is_same_v<R, PaddedVector3> ? 3 : 1;
  return {H, name, sizeof...(Args), results, (std::is_same_v<Args, Text> || ...)};
}

#define FRAYWICK_SIGNATURE(op) signatureOf(op, #op)
inline constexpr NativeSignature kNativeSignatures[] = {
    FRAYWICK_SIGNATURE(hashOfName),           FRAYWICK_SIGNATURE(playerPed),
    FRAYWICK_SIGNATURE(entityExists),         FRAYWICK_SIGNATURE(isPlayerPed),
    FRAYWICK_SIGNATURE(isHumanPed),           FRAYWICK_SIGNATURE(isMalePed),
    FRAYWICK_SIGNATURE(entityPosition),       FRAYWICK_SIGNATURE(distanceBetweenPoints),
    FRAYWICK_SIGNATURE(entityModel),          FRAYWICK_SIGNATURE(setEntityInvincible),
    FRAYWICK_SIGNATURE(clearTasks),           FRAYWICK_SIGNATURE(setEventBlocking),
    FRAYWICK_SIGNATURE(fleeFromPed),          FRAYWICK_SIGNATURE(removeAllWeapons),
    FRAYWICK_SIGNATURE(equipWeapon),          FRAYWICK_SIGNATURE(setConfigFlag),
    FRAYWICK_SIGNATURE(randomInRange),        FRAYWICK_SIGNATURE(setRelationshipGroup),
    FRAYWICK_SIGNATURE(setGroupRelationship), FRAYWICK_SIGNATURE(fightPed),
    FRAYWICK_SIGNATURE(isEventInSphere),      FRAYWICK_SIGNATURE(queryByName),
};
#undef FRAYWICK_SIGNATURE

// A native the catalogue lacks: its answer is kept whole, every slot a native may fill.
inline constexpr NativeSignature kUnknownNative{0, "unknown", 0, 3, false};

inline const NativeSignature& nativeSignature(std::uint64_t hash) {
  for (const NativeSignature& signature : kNativeSignatures) {
    if (signature.hash == hash) return signature;
  }
  return kUnknownNative;
}

}  // namespace fraywick::diag
