// The report that fraywick-sim prints: the scenario, when and where a brawl was triggered, the
// fate of every ped, and what the frames cost in native calls.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "demo/analysis.h"
#include "demo/run.h"

namespace fraywick::demo {

// The answer to what a player asks first: did a brawl start, where and when; and if none did,
// why not, saloon by saloon. Only what the calls show: the guard's answers, the scans, the
// player ped, each saloon's tests, where the recording ends.
struct Answer {
  std::string headline;              // "Yes, at Valentine." or "No."
  std::vector<std::string> reasons;  // a sentence or two each, names as the recording has them
};

inline constexpr char kQuestion[] = "Did a brawl start?";

Answer answerOf(const Run& run, const Analysis& analysis);

// The answer first, then the rest; without the answer when the caller shows it elsewhere.
void writeReport(const Run& run, const Analysis& analysis, std::ostream& out,
                 bool answerFirst = true);

}  // namespace fraywick::demo
