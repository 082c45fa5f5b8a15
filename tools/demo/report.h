// The report that fraywick-sim prints: the scenario, when and where a brawl was triggered, the
// fate of every ped, and what the frames cost in native calls.
#pragma once

#include <ostream>

#include "demo/analysis.h"
#include "demo/run.h"

namespace fraywick::demo {

void writeReport(const Run& run, const Analysis& analysis, std::ostream& out);

}  // namespace fraywick::demo
