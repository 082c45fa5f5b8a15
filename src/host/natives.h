// The game natives the plug-in calls, one typed operation per native.
//
// Every operation is one native call: nativeInit with its hash, one nativePush64 per argument in
// order, nativeCall, then the result read from the returned slots. The slot encoding is written
// once, in `toSlot`. The catalogue at the bottom is the one place where a native's hash, name,
// argument slots and result are written: the simulated game, the diagnostic build's recording
// layer, the demo and the tests all read them from there.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "host/hook.h"

namespace fraywick {

using Ped = std::int32_t;     // the game's handles are signed 32-bit values
using Entity = std::int32_t;  // a ped is an entity; both share one handle space
using Hash = std::uint32_t;   // model, weapon, event-type and relationship-group hashes

// The game's vector layout: three floats, each in the low half of its own 8-byte slot. Only the
// low halves carry data; the padding stays zero wherever the plug-in builds one.
struct PaddedVector3 {
  float x = 0;
  std::uint32_t unusedX = 0;
  float y = 0;
  std::uint32_t unusedY = 0;
  float z = 0;
  std::uint32_t unusedZ = 0;
};
static_assert(sizeof(PaddedVector3) == 24);

// Constant ASCII texts, passed by address. A distinct type keeps a stray char* from being pushed.
struct Text {
  const char* chars;
};

// One argument slot. 32-bit values are zero-extended (a hash such as 0xF5C6180C must not turn
// into 0xFFFFFFFFF5C6180C), floats travel as their IEEE-754 bits.
constexpr std::uint64_t toSlot(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}
constexpr std::uint64_t toSlot(std::uint32_t value) {
  return value;
}
constexpr std::uint64_t toSlot(bool value) {
  return value ? 1 : 0;
}
constexpr std::uint64_t toSlot(float value) {
  return std::bit_cast<std::uint32_t>(value);
}
inline std::uint64_t toSlot(Text text) {
  return reinterpret_cast<std::uintptr_t>(text.chars);
}

// The result, read from the slots nativeCall returned. Only the low half of a slot is ever read.
template <class R>
R fromSlots(const UINT64* slots) {
  const auto low = [slots](int i) { return static_cast<std::uint32_t>(slots[i]); };
  if constexpr (std::is_same_v<R, bool>) {
    return low(0) != 0;
  } else if constexpr (std::is_same_v<R, std::int32_t>) {
    return static_cast<std::int32_t>(low(0));
  } else if constexpr (std::is_same_v<R, std::uint32_t>) {
    return low(0);
  } else if constexpr (std::is_same_v<R, float>) {
    return std::bit_cast<float>(low(0));
  } else {
    static_assert(std::is_same_v<R, PaddedVector3>);
    PaddedVector3 v;
    v.x = std::bit_cast<float>(low(0));
    v.y = std::bit_cast<float>(low(1));
    v.z = std::bit_cast<float>(low(2));
    return v;
  }
}

// What traces, recordings and the simulated game read about a native. Every field is taken from
// the operation's declaration below, so nothing about a native is written twice.
struct NativeInfo {
  std::uint64_t hash;
  const char* name;       // the operation's name: the word traces and recordings write
  const char* gameName;   // what the game's public references call the native
  const char* slotForms;  // a letter a slot, in push order: i int, bool or handle; h hash;
                          // f float; t text
  std::size_t slots;
  char resultForm;  // i int, bool or handle; h hash; f float; v PaddedVector3; '-' none
  int resultSlots;  // the result slots the plug-in reads
  bool text;        // the first slot is the address of a text
};

template <class T>
constexpr char slotFormOf() {
  if constexpr (std::is_same_v<T, Text>) {
    return 't';
  } else if constexpr (std::is_same_v<T, float>) {
    return 'f';
  } else if constexpr (std::is_same_v<T, Hash>) {
    return 'h';
  } else {
    static_assert(std::is_same_v<T, std::int32_t> || std::is_same_v<T, bool>);
    return 'i';
  }
}

template <class R>
constexpr char resultFormOf() {
  if constexpr (std::is_void_v<R>) {
    return '-';
  } else if constexpr (std::is_same_v<R, PaddedVector3>) {
    return 'v';
  } else {
    return slotFormOf<R>();
  }
}

// A native with a fixed hash, argument types and result type. Arguments are converted to the
// declared types before they are encoded, so a call site cannot change a slot's form. The names
// are for people and traces only: a call reads nothing but the hash.
template <std::uint64_t NativeHash, class R, class... Args>
struct NativeOp {
  static constexpr std::uint64_t hash = NativeHash;
  static constexpr char slotForms[] = {slotFormOf<Args>()..., '\0'};

  const char* name;
  const char* gameName;

  R operator()(Args... args) const {
    nativeInit(NativeHash);
    (nativePush64(toSlot(args)), ...);  // a comma fold pushes left to right
    const UINT64* results = nativeCall();
    if constexpr (std::is_void_v<R>) {
      static_cast<void>(results);
    } else {
      return fromSlots<R>(results);
    }
  }

  constexpr NativeInfo info() const {
    return {.hash = NativeHash,
            .name = name,
            .gameName = gameName,
            .slotForms = slotForms,
            .slots = sizeof...(Args),
            .resultForm = resultFormOf<R>(),
            .resultSlots = std::is_void_v<R>                  ? 0
                           : std::is_same_v<R, PaddedVector3> ? 3
                                                              : 1,
            .text = slotForms[0] == 't'};
  }
};

// The catalogue. Where the game's name says more than ours, the place that passes the values
// says what they mean to the game (combat attributes, shocking events, the loaded script).
// clang-format off
//                        hash                result         argument slots                 operation                                      the game's name
inline constexpr NativeOp<0xFD340785ADF8CFB7, Hash,          Text>                          hashOfName           {"hashOfName",            "GET_HASH_KEY"};
inline constexpr NativeOp<0x096275889B8E0EE0, Ped>                                          playerPed            {"playerPed",             "PLAYER_PED_ID"};
inline constexpr NativeOp<0xD42BD6EB2E0F1677, bool,          Entity>                        entityExists         {"entityExists",          "DOES_ENTITY_EXIST"};
inline constexpr NativeOp<0x12534C348C6CB68B, bool,          Ped>                           isPlayerPed          {"isPlayerPed",           "IS_PED_A_PLAYER"};
inline constexpr NativeOp<0xB980061DA992779D, bool,          Ped>                           isHumanPed           {"isHumanPed",            "IS_PED_HUMAN"};
inline constexpr NativeOp<0x6D9F5FAA7488BA46, bool,          Ped>                           isMalePed            {"isMalePed",             "IS_PED_MALE"};
inline constexpr NativeOp<0xA86D5F069399F44D, PaddedVector3, Entity, int, int>              entityPosition       {"entityPosition",        "GET_ENTITY_COORDS"};
inline constexpr NativeOp<0x0BE7F4E3CDBAFB28, float,         float, float, float,
                                                             float, float, float, int>      distanceBetweenPoints{"distanceBetweenPoints", "GET_DISTANCE_BETWEEN_COORDS"};
inline constexpr NativeOp<0xDA76A9F39210D365, Hash,          Entity>                        entityModel          {"entityModel",           "GET_ENTITY_MODEL"};
inline constexpr NativeOp<0xA5C38736C426FCB8, void,          Entity, bool>                  setEntityInvincible  {"setEntityInvincible",   "SET_ENTITY_INVINCIBLE"};
inline constexpr NativeOp<0xE1EF3C1216AFF2CD, void,          Ped, int, int>                 clearTasks           {"clearTasks",            "CLEAR_PED_TASKS"};
inline constexpr NativeOp<0x9F8AA94D6D97DBF4, void,          Ped, bool>                     setEventBlocking     {"setEventBlocking",      "SET_BLOCKING_OF_NON_TEMPORARY_EVENTS"};
inline constexpr NativeOp<0x22B0D0E37CCB840D, void,          Ped, Ped, float, int,
                                                             int, float, int>               fleeFromPed          {"fleeFromPed",           "TASK_SMART_FLEE_PED"};
inline constexpr NativeOp<0xF25DF915FA38C5F3, void,          Ped, int, int>                 removeAllWeapons     {"removeAllWeapons",      "REMOVE_ALL_PED_WEAPONS"};
inline constexpr NativeOp<0xADF692B254977C0C, void,          Ped, Hash, int, int, int, int> equipWeapon          {"equipWeapon",           "SET_CURRENT_PED_WEAPON"};
inline constexpr NativeOp<0x9F7794730795E019, void,          Ped, int, bool>                setConfigFlag        {"setConfigFlag",         "SET_PED_COMBAT_ATTRIBUTES"};
inline constexpr NativeOp<0xD53343AA4FB7DD28, int,           int, int>                      randomInRange        {"randomInRange",         "GET_RANDOM_INT_IN_RANGE"};
inline constexpr NativeOp<0xC80A74AC829DDD92, void,          Ped, Hash>                     setRelationshipGroup {"setRelationshipGroup",  "SET_PED_RELATIONSHIP_GROUP_HASH"};
inline constexpr NativeOp<0xBF25EB89375A37AD, void,          int, Hash, Hash>               setGroupRelationship {"setGroupRelationship",  "SET_RELATIONSHIP_BETWEEN_GROUPS"};
inline constexpr NativeOp<0xF166E48407BAC484, void,          Ped, Ped, int, int>            fightPed             {"fightPed",              "TASK_COMBAT_PED"};
inline constexpr NativeOp<0x9DB47E16060D6354, bool,          Hash, float, float, float,
                                                             float>                         isEventInSphere      {"isEventInSphere",       "IS_SHOCKING_EVENT_IN_SPHERE"};
inline constexpr NativeOp<0xE97BD36574F8B0A6, int,           Text>                          queryByName          {"queryByName",           "HAS_SCRIPT_LOADED"};
// clang-format on

// Every operation above, for the readers of traces and recordings and for the simulated game.
inline constexpr NativeInfo kNatives[] = {
    hashOfName.info(),           playerPed.info(),
    entityExists.info(),         isPlayerPed.info(),
    isHumanPed.info(),           isMalePed.info(),
    entityPosition.info(),       distanceBetweenPoints.info(),
    entityModel.info(),          setEntityInvincible.info(),
    clearTasks.info(),           setEventBlocking.info(),
    fleeFromPed.info(),          removeAllWeapons.info(),
    equipWeapon.info(),          setConfigFlag.info(),
    randomInRange.info(),        setRelationshipGroup.info(),
    setGroupRelationship.info(), fightPed.info(),
    isEventInSphere.info(),      queryByName.info(),
};

// The catalogue's entry for a hash, or nullptr for a native the plug-in never calls.
constexpr const NativeInfo* nativeInfo(std::uint64_t hash) {
  for (const NativeInfo& native : kNatives) {
    if (native.hash == hash) return &native;
  }
  return nullptr;
}

// Two operations on one hash would be one native under two names.
consteval bool hashesAreDistinct() {
  for (std::size_t i = 0; i < std::size(kNatives); ++i) {
    for (std::size_t j = i + 1; j < std::size(kNatives); ++j) {
      if (kNatives[i].hash == kNatives[j].hash) return false;
    }
  }
  return true;
}
static_assert(hashesAreDistinct());

}  // namespace fraywick
