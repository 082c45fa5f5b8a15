// One HTML page of a recorded session (or a simulated run), for a player's browser: the answer to
// "did a brawl start?" first, then the map inline, the report, and the Fraywick.ini the plug-in
// found. It needs no file beside it and no network. Every text from the recording (names, the
// plug-in's build line, the settings file) is escaped.
#pragma once

#include <ostream>

#include "demo/analysis.h"
#include "demo/run.h"

namespace fraywick::demo {

void writeHtmlPage(const Run& run, const Analysis& analysis, std::ostream& out);

}  // namespace fraywick::demo
