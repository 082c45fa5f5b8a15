// Replaying a recorded session against a build of the plug-in: the simulated hook answers every
// call from the recording (result slots, ped handles and count, tick counts), restarts the script
// where the recording did and gives it the Fraywick.ini it found; each call the plug-in makes is
// checked against the recorded one.
#pragma once

#include <cstddef>
#include <string>

#include "demo/recording.h"

namespace fraywick::demo {

struct ReplayOutcome {
  bool identical = false;
  std::size_t calls = 0;  // hook and native calls that matched
  int frames = 0;         // frames run
  // Where the first call differs: the frame, the call's number (from 1, as hook and native calls
  // count) and a few lines: the recorded calls before it, what was expected and what came.
  int frame = 0;
  std::size_t call = 0;
  std::string difference;
};

// Runs the plug-in at `pluginPath` against `recording`. False, with `error` saying why, when it
// cannot be run at all (the plug-in does not load, a Fraywick.ini too big to keep).
bool replayRecording(const Recording& recording, const std::string& pluginPath,
                     ReplayOutcome& outcome, std::string& error);

// "identical: N calls over M frames" ("identical up to the cut: ..." for a recording cut short,
// followed by where it was cut), or where the first call differs.
std::string describeOutcome(const Recording& recording, const ReplayOutcome& outcome);

}  // namespace fraywick::demo
