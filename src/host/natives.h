// The game natives the plug-in calls, one typed operation per native.
//
// Every operation is one native call: nativeInit with its hash, one nativePush64 per argument in
// order, nativeCall, then the result read from the returned slots. The slot encoding is written
// once, in `toSlot`; the catalogue at the bottom is the one place to audit hashes and signatures.
#pragma once

#include <bit>
#include <cstdint>
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

// A native with a fixed hash, argument types and result type. Arguments are converted to the
// declared types before they are encoded, so a call site cannot change a slot's form.
template <std::uint64_t NativeHash, class R, class... Args>
struct NativeOp {
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
};

// clang-format off
//                                       hash                result         argument slots
inline constexpr NativeOp<0xFD340785ADF8CFB7, Hash,          Text>                          hashOfName;
inline constexpr NativeOp<0x096275889B8E0EE0, Ped>                                          playerPed;
inline constexpr NativeOp<0xD42BD6EB2E0F1677, bool,          Entity>                        entityExists;
inline constexpr NativeOp<0x12534C348C6CB68B, bool,          Ped>                           isPlayerPed;
inline constexpr NativeOp<0xB980061DA992779D, bool,          Ped>                           isHumanPed;
inline constexpr NativeOp<0x6D9F5FAA7488BA46, bool,          Ped>                           isMalePed;
inline constexpr NativeOp<0xA86D5F069399F44D, PaddedVector3, Entity, int, int>              entityPosition;
inline constexpr NativeOp<0x0BE7F4E3CDBAFB28, float,         float, float, float,
                                                             float, float, float, int>      distanceBetweenPoints;
inline constexpr NativeOp<0xDA76A9F39210D365, Hash,          Entity>                        entityModel;
inline constexpr NativeOp<0xA5C38736C426FCB8, void,          Entity, bool>                  setEntityInvincible;
inline constexpr NativeOp<0xE1EF3C1216AFF2CD, void,          Ped, int, int>                 clearTasks;
inline constexpr NativeOp<0x9F8AA94D6D97DBF4, void,          Ped, bool>                     setEventBlocking;
inline constexpr NativeOp<0x22B0D0E37CCB840D, void,          Ped, Ped, float, int,
                                                             int, float, int>               fleeFromPed;
inline constexpr NativeOp<0xF25DF915FA38C5F3, void,          Ped, int, int>                 removeAllWeapons;
inline constexpr NativeOp<0xADF692B254977C0C, void,          Ped, Hash, int, int, int, int> equipWeapon;
inline constexpr NativeOp<0x9F7794730795E019, void,          Ped, int, bool>                setConfigFlag;
inline constexpr NativeOp<0xD53343AA4FB7DD28, int,           int, int>                      randomInRange;
inline constexpr NativeOp<0xC80A74AC829DDD92, void,          Ped, Hash>                     setRelationshipGroup;
inline constexpr NativeOp<0xBF25EB89375A37AD, void,          int, Hash, Hash>               setGroupRelationship;
inline constexpr NativeOp<0xF166E48407BAC484, void,          Ped, Ped, int, int>            fightPed;
inline constexpr NativeOp<0x9DB47E16060D6354, bool,          Hash, float, float, float,
                                                             float>                         isEventInSphere;
inline constexpr NativeOp<0xE97BD36574F8B0A6, int,           Text>                          queryByName;
// clang-format on

}  // namespace fraywick
