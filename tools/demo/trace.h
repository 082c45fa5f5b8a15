// The trace: one line per call the plug-in made into the hook, in a format that is the same on
// every platform, so that the native build and the Windows build under Wine can be compared line
// for line. No address appears in it: texts are shown as texts, module handles and function
// pointers as tokens numbered in order of first appearance.
//
//   WHEN native HASH NAME SLOT... [-> RESULT...]
//   WHEN HOOKFUNCTION ARG... [-> RESULT]
//   FRAME restart Fraywick.ini kept|removed|replaced
//
// WHEN is the frame number (from 1), "load" or "unload". Slots and results are 64-bit values in
// hex (0x0000000041A00000); a text slot is the text in double quotes; module handles read
// module#N and function pointers function#N. Only the result slots that the native fills are
// shown (three for entityPosition, none for the natives without a result). A restart line is no
// call of the plug-in's: it says that the hook restarted the script before the frame's first
// call, and what became of Fraywick.ini just before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "demo/run.h"

namespace fraywick::demo {

inline constexpr int kTraceFormat = 1;

void writeTrace(const Run& run, std::ostream& out);

// Stable names for addresses that differ from run to run and platform to platform: "module#1",
// "function#2", numbered in order of first appearance (0 reads "null"). The trace, a recording
// and a replay's report all name them so.
class Tokens {
 public:
  explicit Tokens(const char* kind) : kind_(kind) {}
  std::string operator()(std::uint64_t address) {
    if (address == 0) return "null";
    const auto [slot, added] = numbers_.try_emplace(address, numbers_.size() + 1);
    return kind_ + "#" + std::to_string(slot->second);
  }

 private:
  std::string kind_;
  std::map<std::uint64_t, std::size_t> numbers_;
};

}  // namespace fraywick::demo
