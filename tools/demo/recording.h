// A recording that the diagnostic build (Fraywick-diag) wrote in a real session: every call the
// plug-in made into the hook with what the game answered, the clock reads and each start of the
// script entry. The format is described in src/diag/recording_format.h. fraywick-sim reads it to
// explain the session (--explain) and to replay it against a build of the plug-in (--replay).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/run.h"
#include "demo/scenario.h"
#include "sim/world.h"

namespace fraywick::demo {

// One line after the header.
struct RecordedStep {
  enum class Kind { Call, Clock, Start };
  Kind kind = Kind::Call;
  int line = 0;    // in the file, from 1
  int frame = 0;   // from 1; 0 for the attach ("load"), -1 for the detach ("unload")
  sim::Call call;  // Kind::Call: arguments and every result slot as recorded
  std::optional<std::string> text;  // the text slot of hashOfName and queryByName
  std::vector<std::int32_t> peds;   // worldGetAllPeds: the handles the plug-in read
  std::string token[2];             // scriptRegister and the like: module#N, function#N
  std::uint64_t clock = 0;          // Kind::Clock: what GetTickCount64 answered
  // Kind::Start: the Fraywick.ini the script entry found; none when there was no file.
  std::optional<std::string> settingsFile;
  std::optional<std::uint64_t> settingsNotKept;  // a file too big to keep: its size
};

// Where a recording that the game never finished ends: it has no final line, as when the game
// crashed or was ended by force, and its last line may be cut in the middle. Only its complete
// frames are read; what follows the last of them is left out.
struct RecordingCut {
  int afterFrame = 0;       // the last complete frame; 0 when none was
  bool inUnload = false;    // the plug-in's unload had begun
  std::size_t leftOut = 0;  // lines after the last complete frame, the cut one included
  bool lineCut = false;     // the last line is cut in the middle
};

struct Recording {
  std::string file;
  std::string pluginVersion;
  std::string build;
  std::vector<RecordedStep> steps;
  bool capped = false;  // it stopped at its size cap; what follows is unknown
  std::optional<RecordingCut> cut;
  int frames = 0;         // frames that began (of a cut recording: that ended)
  std::size_t calls = 0;  // hook and native calls
};

// Reads a recording from the text of a file; `fileName` only labels the result and the errors.
// A recording cut short after its two header lines reads, with `cut` saying where it ends; one
// whose final line lacks only its newline reads as whole. False, with `error` filled
// ("FILE:LINE: expected ..."), at the first problem: a header cut short, a line that does not
// read, an unknown format version, a recording of a newer plug-in than this program knows.
bool parseRecording(std::string_view text, const std::string& fileName, Recording& recording,
                    ScenarioError& error);

// Says where and how a recording cut short ends ("cut short after frame 8: the game ended
// without unloading the plug-in (a crash, or a forced quit)"); empty for a finished one.
std::string cutNote(const Recording& recording);
bool loadRecording(const std::string& path, Recording& recording, ScenarioError& error);

// The session as a Run, for the same analysis, report and map as a simulated one. The peds are
// those of the snapshots in which a saloon was hit, known only by what the plug-in asked: where
// it never asked a ped's position or model, the run says so.
Run runOfRecording(const Recording& recording);

// The line of the trace format that a recorded step stands for (for the replay's messages).
std::string describeStep(const RecordedStep& step);

}  // namespace fraywick::demo
