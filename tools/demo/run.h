// Runs a scenario against the real plug-in module and keeps everything it did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "demo/scenario.h"
#include "sim/world.h"

namespace fraywick::demo {

// One script tick: the calls [firstCall, endCall) of Run::calls, made at virtual time clockMs.
struct Frame {
  int number = 0;  // from 1
  std::uint64_t clockMs = 0;
  std::size_t firstCall = 0;
  std::size_t endCall = 0;
  // The scenario's restarts that the hook made just before this frame, by index.
  std::vector<std::size_t> restarts;
};

struct Run {
  Scenario scenario;
  std::string pluginPath;
  std::vector<sim::Call> calls;  // every hook and native call, in order
  // The text that a native took by address (hashOfName, queryByName), by index into `calls`,
  // copied while the plug-in was still loaded.
  std::map<std::size_t, std::string> texts;
  std::size_t loadCalls = 0;  // calls [0, loadCalls) came from the attach notification
  std::vector<Frame> frames;
  std::size_t unloadFirst = 0;  // calls [unloadFirst, end) came from the detach notification
  std::vector<sim::Ped> peds;   // as the natives left them, at the end of the last frame
  std::vector<std::string> protocolErrors;  // misuse of the hook that the simulator noticed
  // What a diagnostic build (Fraywick-diag) wrote into the working directory, if it did.
  std::optional<std::string> recording;

  // ----- a run read from a recording (runOfRecording) rather than simulated -----
  bool recorded = false;
  bool recordingCapped = false;
  std::string recordingCut;  // where a recording the game never finished ends; empty otherwise
  struct Start {
    int frame = 0;
    std::optional<std::string> settingsFile;
    std::optional<std::uint64_t> settingsNotKept;
  };
  std::vector<Start> starts;  // each start of the script entry
};

// The plug-in's working folder, changed into for as long as this lives: the plug-in looks for
// Fraywick.ini, and a diagnostic build writes its recording, in the current directory. Without a
// folder, a fresh temporary one, removed afterwards; with one (which must exist), that folder,
// left with what it holds, as a game's folder is.
class WorkingFolder {
 public:
  WorkingFolder();
  explicit WorkingFolder(const std::filesystem::path& kept);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  bool scratch_;
};

// Where and how long a scenario runs.
struct RunPlace {
  // The game's folder: the plug-in finds the scenario's Fraywick.ini there, and a diagnostic
  // build leaves its recordings there, beside those of earlier runs. Empty: a fresh temporary
  // folder, removed afterwards.
  std::filesystem::path folder;
  // After this many frames the hook ends the process, as a crash or a forced quit ends the game:
  // the plug-in is never unloaded, and the process exits with kCrashStatus. 0: every frame of the
  // scenario runs, then the plug-in is unloaded.
  int crashAfter = 0;
  // Ends the process the same way inside this native call of the load (counted from 1), after
  // the game answered it but before the plug-in has the answer, as a fault in that call ends the
  // game. 0: none.
  int crashInNative = 0;
};

// The exit status of a process that RunPlace::crashAfter or crashInNative ended.
inline constexpr int kCrashStatus = 3;

// Loads the plug-in at `pluginPath` in a fresh world built from `scenario`, in a working
// directory holding the scenario's Fraywick.ini (see RunPlace), runs the scenario's frames, and
// unloads it again. False, with `error` saying why, when the plug-in cannot be loaded or never
// registers its script, or when the folder holds a Fraywick.ini the scenario does not have.
bool runScenario(const Scenario& scenario, const std::string& pluginPath, Run& run,
                 std::string& error, const RunPlace& place = {});

// Whether this native takes a text by address in its first slot.
bool takesText(std::uint64_t hash);

}  // namespace fraywick::demo
