// What a recording needs to know of each native: the plug-in's own catalogue (host/natives.h),
// where each native's name, slots, result slots and text slot are read off its declaration. The
// recording layer writes by it; fraywick-sim's reader checks each recorded call against it.
#pragma once

#include <cstdint>

#include "host/natives.h"

namespace fraywick::diag {

using NativeSignature = NativeInfo;

// A native the catalogue lacks: its answer is kept whole, every slot a native may fill.
inline constexpr NativeSignature kUnknownNative{.hash = 0,
                                                .name = "unknown",
                                                .gameName = "",
                                                .slotForms = "",
                                                .slots = 0,
                                                .resultForm = '-',
                                                .resultSlots = 3,
                                                .text = false};

inline const NativeSignature& nativeSignature(std::uint64_t hash) {
  const NativeInfo* native = nativeInfo(hash);
  return native != nullptr ? *native : kUnknownNative;
}

}  // namespace fraywick::diag
