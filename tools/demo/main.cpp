// fraywick-sim: runs the real plug-in module against the simulated script hook and game world,
// and tells what it did. See usage() below, or run it with --help.
#include <charconv>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "demo/analysis.h"
#include "demo/page.h"
#include "demo/recording.h"
#include "demo/replay.h"
#include "demo/report.h"
#include "demo/run.h"
#include "demo/scenario.h"
#include "demo/svg_map.h"
#include "demo/trace.h"
#include "demo/wine.h"
#include "sim/host.h"

namespace {

using namespace fraywick::demo;

constexpr int kRunFailed = 1;
constexpr int kBadInput = 2;

const char* usage() {
  return R"(Usage: fraywick-sim [SCENARIO] [--trace FILE] [--svg FILE] [--html FILE] [--wine]
                    [--plugin FILE] [--record FILE]
                    [--folder DIR [--crash-after FRAMES | --crash-in-native CALL]]
       fraywick-sim --explain RECORDING [--svg FILE] [--html FILE]
       fraywick-sim --replay RECORDING [--plugin FILE] [--wine]

Loads the real Fraywick plug-in into a simulated script hook and game world, runs a
scenario frame by frame (one script tick per frame), and reports what the plug-in did:
when and at which saloon it detected a trigger event, the fate of every ped - brawler and
whom it was sent to fight, fleeing bartender, or left out and why - and what each kind of
frame cost in native calls.

Without SCENARIO it runs the built-in one: an evening at the Valentine saloon.

Options:
  --trace FILE   write every hook and native call, one per line (format: docs/demo.md)
  --svg FILE     draw a top-down map of each saloon involved, as SVG
  --html FILE    write one page for a browser: the answer to "did a brawl start?", the map
                 and the report (what Fraywick-explain.exe writes for players on Windows)
  --wine         run the same under Wine, with the Windows build: fraywick-sim.exe,
                 Fraywick.asi and the hook double ScriptHookRDR2.dll from build/windows/bin
                 (or from the folder FRAYWICK_WINDOWS_BIN names)
  --plugin FILE  the plug-in module to load (default: the one beside this program, or
                 the file FRAYWICK_PLUGIN names)
  --record FILE  with a diagnostic build (--plugin .../Fraywick-diag.so or .asi), keep the
                 recording it wrote during the scenario in FILE
  --folder DIR   run in DIR, as in the game's folder (made if missing), instead of a fresh
                 temporary folder: the scenario's Fraywick.ini is written there, and what
                 a diagnostic build records stays there, beside the recordings of earlier
                 runs (DIR must hold no Fraywick.ini when the scenario has none)
  --crash-after FRAMES  with --folder: after that many frames the hook ends the process
                 at once, as a crash or a forced quit ends the game; the plug-in is never
                 unloaded, no report is printed, and the exit status is 3
  --crash-in-native CALL  with --folder: the same, but inside the plug-in's native call
                 number CALL of the load (from 1), before the plug-in has its answer, as a
                 fault in that call ends the game
  --help         this text
  --version      this program's version, that of the plug-in sources it was built with

A player's recording (Fraywick-recording.txt, written by Fraywick-diag.asi; see
docs/diagnostics.md):
  --explain RECORDING  the same report (and with --svg and --html the same map and page)
                 for the recorded session, from the recording alone; what the plug-in
                 never asked the game is shown as "not asked"
  --replay RECORDING   run a build of the plug-in against the recorded answers and say
                 "identical: N calls over M frames" or where the first call differs
                 (exit status 1)
  A recording the game never finished (it crashed, or was ended by force) is explained
  and replayed up to its last complete frame, and both say where it was cut short.

Exit status: 0 when the scenario ran (or the replay was identical), 1 when the plug-in could
not be run (or the replay differs), 2 for a bad command line, scenario file or recording (one
message: FILE:LINE: what was expected), 3 when --crash-after or --crash-in-native ended the
process.

)";
}

struct Options {
  std::string scenario;
  std::string trace;
  std::string svg;
  std::string html;
  std::string plugin;
  std::string record;
  std::string explain;
  std::string replay;
  std::string folder;
  int crashAfter = 0;
  int crashInNative = 0;
  bool wine = false;
  bool help = false;
  bool version = false;
};

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = arg + " needs a file name";
        return false;
      }
      into = argv[++i];
      return true;
    };
    const auto count = [&](int& into, const std::string& what) {
      const std::string number = i + 1 < argc ? argv[++i] : "";
      const auto [end, status] =
          std::from_chars(number.data(), number.data() + number.size(), into);
      if (number.empty() || status != std::errc{} || end != number.data() + number.size() ||
          into < 1) {
        error = arg + " needs a number of " + what + " from 1, found '" + number + "'";
        return false;
      }
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--wine") {
      options.wine = true;
    } else if (arg == "--trace") {
      if (!value(options.trace)) return false;
    } else if (arg == "--svg") {
      if (!value(options.svg)) return false;
    } else if (arg == "--html") {
      if (!value(options.html)) return false;
    } else if (arg == "--plugin") {
      if (!value(options.plugin)) return false;
    } else if (arg == "--record") {
      if (!value(options.record)) return false;
    } else if (arg == "--explain") {
      if (!value(options.explain)) return false;
    } else if (arg == "--replay") {
      if (!value(options.replay)) return false;
    } else if (arg == "--folder") {
      if (!value(options.folder)) return false;
    } else if (arg == "--crash-after") {
      if (!count(options.crashAfter, "frames")) return false;
    } else if (arg == "--crash-in-native") {
      if (!count(options.crashInNative, "native calls")) return false;
    } else if (arg.starts_with("-")) {
      error = "unknown option " + arg;
      return false;
    } else if (options.scenario.empty()) {
      options.scenario = arg;
    } else {
      error = "only one scenario at a time, got " + options.scenario + " and " + arg;
      return false;
    }
  }
  const bool recording = !options.explain.empty() || !options.replay.empty();
  const bool crash = options.crashAfter > 0 || options.crashInNative > 0;
  if (!options.explain.empty() && !options.replay.empty()) {
    error = "--explain and --replay are two separate commands";
    return false;
  }
  if (recording && (!options.scenario.empty() || !options.trace.empty() ||
                    !options.record.empty() || !options.folder.empty() || crash)) {
    error =
        "a recording is explained or replayed alone, without a scenario, --trace, --record, "
        "--folder, --crash-after or --crash-in-native";
    return false;
  }
  if (options.crashAfter > 0 && options.crashInNative > 0) {
    error = "--crash-after and --crash-in-native end the same process: give one of them";
    return false;
  }
  if (crash && options.folder.empty()) {
    error = std::string(options.crashAfter > 0 ? "--crash-after" : "--crash-in-native") +
            " needs --folder: what the plug-in leaves behind must stay somewhere";
    return false;
  }
  if (!options.explain.empty() && (options.wine || !options.plugin.empty())) {
    error = "--explain reads the recording alone: no plug-in runs, so no --wine or --plugin";
    return false;
  }
  if (!options.replay.empty() && (!options.svg.empty() || !options.html.empty())) {
    error = "--replay draws no map and writes no page; --explain does";
    return false;
  }
  return true;
}

// The same command, once more, in the Windows build under Wine.
int runWine(const Options& options) {
  const std::string bin = windowsBinDirectory();
  std::vector<std::string> args;
  if (!options.scenario.empty()) args.push_back(pathForWine(options.scenario));
  if (!options.trace.empty()) args.insert(args.end(), {"--trace", pathForWine(options.trace)});
  if (!options.svg.empty()) args.insert(args.end(), {"--svg", pathForWine(options.svg)});
  if (!options.html.empty()) args.insert(args.end(), {"--html", pathForWine(options.html)});
  if (!options.plugin.empty()) args.insert(args.end(), {"--plugin", pathForWine(options.plugin)});
  if (!options.record.empty()) args.insert(args.end(), {"--record", pathForWine(options.record)});
  if (!options.folder.empty()) args.insert(args.end(), {"--folder", pathForWine(options.folder)});
  if (options.crashAfter > 0) {
    args.insert(args.end(), {"--crash-after", std::to_string(options.crashAfter)});
  }
  if (options.crashInNative > 0) {
    args.insert(args.end(), {"--crash-in-native", std::to_string(options.crashInNative)});
  }
  if (!options.replay.empty()) args.insert(args.end(), {"--replay", pathForWine(options.replay)});
  std::string error;
  const int status = runUnderWine(FRAYWICK_WINE_LAUNCHER, bin + "/fraywick-sim.exe", args, error);
  if (status < 0) {
    std::cerr << "fraywick-sim: " << error << "\n";
    return kRunFailed;
  }
  return status;
}

bool writeFile(const std::string& path, const auto& write) {
  std::ofstream file(path, std::ios::binary);
  if (!file) return false;
  write(file);
  file.close();
  return static_cast<bool>(file);
}

// The page for a browser, when asked for; false, said, when it cannot be written.
bool writePage(const std::string& path, const std::string& shown, const Run& run,
               const Analysis& analysis) {
  if (path.empty()) return true;
  if (!writeFile(path, [&](std::ostream& out) { writeHtmlPage(run, analysis, out); })) {
    std::cerr << "fraywick-sim: cannot write the page to " << shown << "\n";
    return false;
  }
  std::cout << "Page: " << shown << "\n";
  return true;
}

int run(const Options& options) {
  Scenario scenario;
  if (options.scenario.empty()) {
    scenario = defaultScenario();
  } else {
    ScenarioError error;
    if (!loadScenario(options.scenario, scenario, error)) {
      std::cerr << "fraywick-sim: " << error.describe() << "\n";
      return kBadInput;
    }
  }

  // Output paths are taken relative to where we were started, not to the scratch directory
  // the plug-in runs in.
  const auto absolute = [](const std::string& path) {
    return path.empty() ? path : std::filesystem::absolute(path).string();
  };
  const std::string trace = absolute(options.trace);
  const std::string svg = absolute(options.svg);
  const std::string html = absolute(options.html);
  const std::string record = absolute(options.record);

  RunPlace place;
  place.folder = absolute(options.folder);
  place.crashAfter = options.crashAfter;
  place.crashInNative = options.crashInNative;
  if (place.crashAfter > scenario.frames) {
    std::cerr << "fraywick-sim: --crash-after " << place.crashAfter << ", but the scenario runs "
              << scenario.frames << " frames\n";
    return kBadInput;
  }
  if (place.crashAfter > 0 || place.crashInNative > 0) {
    // Said first: the process ends without a word once the hook ends it.
    std::cout << "Ending the process "
              << (place.crashAfter > 0
                      ? "after frame " + std::to_string(place.crashAfter)
                      : "inside native call " + std::to_string(place.crashInNative))
              << ", as a crash does: the plug-in is not unloaded; what it leaves stays in "
              << options.folder << "\n"
              << std::flush;
  }

  Run result;
  std::string error;
  const std::string plugin =
      options.plugin.empty() ? sim::defaultPluginPath() : absolute(options.plugin);
  if (!runScenario(scenario, plugin, result, error, place)) {
    std::cerr << "fraywick-sim: " << error << "\n";
    return kRunFailed;
  }
  if (place.crashInNative > 0) {
    // The process is still here: the plug-in made fewer calls than that.
    std::size_t natives = 0;
    for (const sim::Call& call : result.calls) natives += call.kind == sim::CallKind::Native;
    std::cerr << "fraywick-sim: --crash-in-native " << place.crashInNative
              << ", but the plug-in made only " << natives << " native calls\n";
    return kBadInput;
  }
  const Analysis analysis = analyse(result);
  writeReport(result, analysis, std::cout);

  if (!trace.empty()) {
    if (!writeFile(trace, [&](std::ostream& out) { writeTrace(result, out); })) {
      std::cerr << "fraywick-sim: cannot write the trace to " << options.trace << "\n";
      return kRunFailed;
    }
    std::cout << "\nTrace: " << options.trace << " (" << result.calls.size() << " calls)\n";
  }
  if (!svg.empty()) {
    if (!writeFile(svg, [&](std::ostream& out) { writeSvgMap(result, analysis, out); })) {
      std::cerr << "fraywick-sim: cannot write the map to " << options.svg << "\n";
      return kRunFailed;
    }
    std::cout << "Map: " << options.svg << "\n";
  }
  if (!writePage(html, options.html, result, analysis)) return kRunFailed;
  if (!record.empty()) {
    if (!result.recording) {
      std::cerr << "fraywick-sim: the plug-in wrote no recording: only a diagnostic build "
                   "(Fraywick-diag) does\n";
      return kRunFailed;
    }
    if (!writeFile(record, [&](std::ostream& out) { out << *result.recording; })) {
      std::cerr << "fraywick-sim: cannot write the recording to " << options.record << "\n";
      return kRunFailed;
    }
    std::cout << "Recording: " << options.record << " (" << result.recording->size() << " bytes)\n";
  }
  return result.protocolErrors.empty() ? 0 : kRunFailed;
}

int explain(const Options& options) {
  Recording recording;
  ScenarioError error;
  if (!loadRecording(options.explain, recording, error)) {
    std::cerr << "fraywick-sim: " << error.describe() << "\n";
    return kBadInput;
  }
  const Run session = runOfRecording(recording);
  const Analysis analysis = analyse(session);
  writeReport(session, analysis, std::cout);
  if (!options.svg.empty()) {
    if (!writeFile(options.svg, [&](std::ostream& out) { writeSvgMap(session, analysis, out); })) {
      std::cerr << "fraywick-sim: cannot write the map to " << options.svg << "\n";
      return kRunFailed;
    }
    std::cout << "Map: " << options.svg << "\n";
  }
  if (!writePage(options.html, options.html, session, analysis)) return kRunFailed;
  return 0;
}

int replay(const Options& options) {
  Recording recording;
  ScenarioError bad;
  if (!loadRecording(options.replay, recording, bad)) {
    std::cerr << "fraywick-sim: " << bad.describe() << "\n";
    return kBadInput;
  }
  // The replay runs in a folder of its own: a relative name is taken from where we started.
  const std::string plugin = options.plugin.empty()
                                 ? sim::defaultPluginPath()
                                 : std::filesystem::absolute(options.plugin).string();
  ReplayOutcome outcome;
  std::string error;
  if (!replayRecording(recording, plugin, outcome, error)) {
    std::cerr << "fraywick-sim: " << error << "\n";
    return kRunFailed;
  }
  std::cout << describeOutcome(recording, outcome);
  return outcome.identical ? 0 : kRunFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    std::cerr << "fraywick-sim: " << error << " (see fraywick-sim --help)\n";
    return kBadInput;
  }
  if (options.help) {
    std::cout << usage() << scenarioFormatHelp();
    return 0;
  }
  if (options.version) {
    std::cout << "fraywick-sim " FRAYWICK_SIM_VERSION "\n";
    return 0;
  }
  try {
    if (options.wine) return runWine(options);
    if (!options.explain.empty()) return explain(options);
    if (!options.replay.empty()) return replay(options);
    return run(options);
  } catch (const std::exception& failure) {
    // The file system can fail under us (no temporary directory, say); say so plainly.
    std::cerr << "fraywick-sim: " << failure.what() << "\n";
    return kRunFailed;
  }
}
