// The cost of the plug-in's frames against the cost of the native calls they cannot avoid, and
// the speed of the INI reader.
//
// Each frame runs twice: as the plug-in's own loop pass (runScriptPass, called directly, so the
// simulator's fiber switch is not counted), and as its floor, the very same hook calls replayed
// from a recorded trace without any of the plug-in's logic. Both go through the simulated hook in
// its null-game mode, where natives answer at the least cost. The summary after Google
// Benchmark's own table divides one by the other, timing the two in turns (measurePaired).
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "alloc_counter.h"
#include "diag_side.h"
#include "frames.h"
#include "host/hook.h"
#include "plugin/script.h"
#include "settings/ini.h"
#include "settings/settings.h"
#include "sim/host.h"

namespace fraywick::bench {
namespace {

constexpr Frame kFrames[] = {Frame::Idle, Frame::Scan, Frame::Brawl};
constexpr std::size_t kIniBytes = 1 << 10;  // a settings file with room to spare
// Each kind of frame may cost this much more than its native calls, and an idle frame, which
// every tick of the game pays, allocates nothing.
constexpr double kFrameBound = 1.25;

void setCounters(benchmark::State& state, std::uint64_t allocations, std::size_t natives) {
  state.counters["allocs/frame"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  state.counters["natives/frame"] = static_cast<double>(natives);
}

void pluginFrame(benchmark::State& state, Frame frame) {
  prepareWorld(frame);
  const std::size_t natives = recordFrame(frame).nativeCount();
  const std::uint64_t before = heapAllocations();
  for (auto _ : state) {
    prepareState(frame);
    runScriptPass();
  }
  setCounters(state, heapAllocations() - before, natives);
}

void floorFrame(benchmark::State& state, Frame frame) {
  prepareWorld(frame);
  const Trace trace = recordFrame(frame);
  const std::uint64_t before = heapAllocations();
  for (auto _ : state) replay(trace);
  setCounters(state, heapAllocations() - before, trace.nativeCount());
}

void iniRead(benchmark::State& state) {
  std::error_code ignored;
  const auto dir = std::filesystem::temp_directory_path(ignored) /
                   ("fraywick-bench-ini-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir, ignored);
  const auto path = dir / "Bench.ini";
  {
    std::ofstream file(path, std::ios::binary);
    file << makeIniText(kIniBytes);
  }
  const IniLoader loader(path.string());
  IniDocument document;
  std::size_t sections = 0;
  const std::uint64_t before = heapAllocations();
  for (auto _ : state) {
    if (!loader.read(document)) {
      state.SkipWithError("the INI file did not read");
      break;
    }
    sections = document.size();
  }
  state.counters["allocs/read"] = benchmark::Counter(
      static_cast<double>(heapAllocations() - before), benchmark::Counter::kAvgIterations);
  state.counters["sections"] = static_cast<double>(sections);
  std::filesystem::remove_all(dir, ignored);
}

double minimum(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

void registerAll() {
  for (const Frame frame : kFrames) {
    const std::string name = std::string("frame/") + frameName(frame);
    const auto unit = frame == Frame::Brawl ? benchmark::kMicrosecond : benchmark::kNanosecond;
    benchmark::RegisterBenchmark((name + "/plugin").c_str(), pluginFrame, frame)
        ->Unit(unit)
        ->ComputeStatistics("min", minimum);
    benchmark::RegisterBenchmark((name + "/floor").c_str(), floorFrame, frame)
        ->Unit(unit)
        ->ComputeStatistics("min", minimum);
  }
  benchmark::RegisterBenchmark("ini/read_1KiB", iniRead)->Unit(benchmark::kMicrosecond);
}

struct Paired {
  double plugin = 0;  // ns per frame, best batch
  double floor = 0;
};

// Plug-in and floor take turns in short batches, and each side keeps its best batch. A batch that
// the machine's other work interrupted only ever makes its own side look slower, and since the
// sides alternate every few microseconds, both meet the same load: on a shared machine this ratio
// holds still where the ratio of two separately timed benchmarks wanders.
Paired measurePaired(Frame frame) {
  const int batch = frame == Frame::Idle ? 128 : frame == Frame::Scan ? 16 : 1;
  const int rounds = frame == Frame::Brawl ? 60 : 600;
  prepareWorld(frame);
  const Trace trace = recordFrame(frame);
  Paired best{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool pluginsTurn = (turn == 0) == (round % 2 == 0);  // who goes first alternates
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < batch; ++i) {
        if (pluginsTurn) {
          prepareState(frame);
          runScriptPass();
        } else {
          replay(trace);
        }
      }
      const std::chrono::duration<double, std::nano> took =
          std::chrono::steady_clock::now() - start;
      double& side = pluginsTurn ? best.plugin : best.floor;
      side = std::min(side, took.count() / batch);
    }
  }
  return best;
}

// ----- stack -----

// What the script may take of the hook's fiber stack; the tests hold every scenario to it.
constexpr std::size_t kStackBudget = 16 * 1024;

// The frame the script entry below runs once on the hook's fiber before it waits for good.
Frame stackFrame = Frame::Idle;

void oneFrame() {
  prepareState(stackFrame);
  runScriptPass();
  for (;;) scriptWait(0);
}

void settingsLoad() {
  loadSettings();
  for (;;) scriptWait(0);
}

void waitOnly() {
  for (;;) scriptWait(0);
}

// The deepest the entry reaches on a fiber of the hook's, from the top of the fiber's stack.
std::size_t stackPeakOf(void (*entry)()) {
  static const char module = 0;
  const auto handle = reinterpret_cast<HMODULE>(const_cast<char*>(&module));
  sim::resetScriptStackPeak();
  scriptRegister(handle, entry);
  sim::tick();
  scriptUnregister(handle);
  return sim::scriptStackPeak();
}

// The settings load that meets a value that does not convert, in a folder of its own.
std::size_t settingsLoadPeak() {
  std::error_code ignored;
  const auto previous = std::filesystem::current_path();
  const auto dir = std::filesystem::temp_directory_path(ignored) /
                   ("fraywick-bench-stack-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir, ignored);
  std::filesystem::current_path(dir);
  std::ofstream(dir / "Fraywick.ini") << "[Fraywick]\nFemaleBrawlers=yes\n";
  const std::size_t peak = stackPeakOf(&settingsLoad);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir, ignored);
  return peak;
}

void printStackPeaks() {
  std::printf("\nStack of the script fiber (%zu KiB), deepest point from its top:\n",
              sim::kScriptStackBytes / 1024);
  std::printf("%-46s %8s %8s\n", "what runs on the fiber", "bytes", "budget");
  const auto line = [](const std::string& what, std::size_t bytes) {
    std::printf("%-46s %8zu %8zu  %s\n", what.c_str(), bytes, kStackBudget,
                bytes <= kStackBudget ? "ok" : "MISSED");
  };
  // The first call of a hook function from the fiber would count the dynamic linker's binding
  // of its name into the frame that made it.
  stackPeakOf(&waitOnly);
  for (const Frame frame : kFrames) {
    prepareWorld(frame);
    stackFrame = frame;
    line(std::string("frame: ") + frameName(frame), stackPeakOf(&oneFrame));
  }
  line("settings load, a value that does not convert", settingsLoadPeak());
  std::printf("%-46s %8zu  (the hook's own share of each figure)\n", "scriptWait alone",
              stackPeakOf(&waitOnly));
}

struct DiagnosticPaired {
  double shipped = 0;  // ns per frame, best batch
  double diagnostic = 0;
};

// The shipped build's loop over one kind of frame, as the diagnostic side runs its own.
Frame loopFrame = Frame::Idle;
void shippedFrameLoop() {
  for (;;) {
    prepareState(loopFrame);
    runScriptPass();
    scriptWait(0);
  }
}

// The diagnostic build against the shipped one, in turns as above: what recording every call into
// a file, and handing each frame's lines to the operating system at its scriptWait, adds to each
// kind of frame. So both run their frames on the hook's fiber, each frame one sim::tick() that
// ends in the script's scriptWait, as in the game. Each diagnostic batch records afresh (outside
// the timing), so that no batch meets the recording's size cap.
DiagnosticPaired measureDiagnostic(Frame frame) {
  const int batch = frame == Frame::Idle ? 128 : frame == Frame::Scan ? 16 : 1;
  const int rounds = frame == Frame::Brawl ? 30 : 300;
  const int kind = static_cast<int>(frame);
  prepareWorld(frame);
  fraywickDiag::bench::diag::prepareWorld(kind);
  static const char module = 0;
  const auto handle = reinterpret_cast<HMODULE>(const_cast<char*>(&module));
  loopFrame = frame;
  DiagnosticPaired best{std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::infinity()};
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool diagnosticsTurn = (turn == 0) == (round % 2 == 0);
      if (diagnosticsTurn) {
        fraywickDiag::bench::diag::startRecording(kind);
      } else {
        scriptRegister(handle, &shippedFrameLoop);
        sim::tick();  // starts the script's fiber, outside the timing
      }
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < batch; ++i) sim::tick();
      const std::chrono::duration<double, std::nano> took =
          std::chrono::steady_clock::now() - start;
      if (diagnosticsTurn) {
        fraywickDiag::bench::diag::stopRecording();
      } else {
        scriptUnregister(handle);
      }
      double& side = diagnosticsTurn ? best.diagnostic : best.shipped;
      side = std::min(side, took.count() / batch);
    }
  }
  return best;
}

// A run that stopped with an error or was skipped has no time to report. Google Benchmark 1.8
// (Debian 13 has 1.9) says so in Run::skipped; 1.7 (Debian 12) in Run::error_occurred.
template <class Run>
bool ranToTheEnd(const Run& run) {
  if constexpr (requires { run.skipped; }) {
    return run.skipped == decltype(run.skipped){};  // NotSkipped, which 1.7 does not name
  } else {
    return !run.error_occurred;
  }
}

// Google Benchmark's console table, followed by the summary that sets each frame against its
// floor: the paired measurement decides, the ratio of the benchmarks' medians (CPU time) is shown
// beside it.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (!ranToTheEnd(run)) continue;
      const std::string base = run.run_name.str();
      const std::string kind = run.run_type == Run::RT_Aggregate ? run.aggregate_name : "";
      if (kind == "stddev" || kind == "cv" || kind == "mean") continue;
      Result& result = results_[base];
      if (kind == "min") {
        result.min = seconds(run);
      } else if (kind == "median" || (kind.empty() && run.repetitions <= 1)) {
        result.central = seconds(run);
        result.counters = run.counters;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\nPlug-in frame against its native-call floor (null game; best of batches "
        "taken in turns):\n");
    std::printf("%-7s %13s %13s %7s %7s %12s %13s %13s\n", "frame", "plug-in", "floor", "ratio",
                "bound", "median-ratio", "allocs/frame", "natives/frame");
    for (const Frame frame : kFrames) {
      const std::string name = std::string("frame/") + frameName(frame);
      const Result& plugin = results_[name + "/plugin"];
      const Result& floor = results_[name + "/floor"];
      if (plugin.central <= 0 || floor.central <= 0) continue;
      const Paired paired = measurePaired(frame);
      const double ratio = paired.plugin / paired.floor;
      const double allocations = counter(plugin, "allocs/frame");
      const bool ok = ratio <= kFrameBound && (frame != Frame::Idle || allocations == 0);
      std::printf("%-7s %10.0f ns %10.0f ns %7.3f %5s%.2f %12.3f %13.2f %13.0f  %s\n",
                  frameName(frame), paired.plugin, paired.floor, ratio, "<=", kFrameBound,
                  plugin.central / floor.central, allocations, counter(plugin, "natives/frame"),
                  ok ? "ok" : "MISSED");
    }
    std::printf(
        "\nDiagnostic build (Fraywick-diag, recording to a file, each frame handed to the "
        "operating system at its scriptWait) against the shipped one; whole frames on the hook's "
        "fiber (best of batches taken in turns):\n");
    std::printf("%-7s %13s %13s %7s %13s\n", "frame", "shipped", "diagnostic", "ratio", "added");
    for (const Frame frame : kFrames) {
      const DiagnosticPaired paired = measureDiagnostic(frame);
      std::printf("%-7s %10.0f ns %10.0f ns %7.2f %10.2f us\n", frameName(frame), paired.shipped,
                  paired.diagnostic, paired.diagnostic / paired.shipped,
                  (paired.diagnostic - paired.shipped) / 1000.0);
    }
    const Result& ini = results_["ini/read_1KiB"];
    if (ini.central > 0) {
      std::printf("\nINI reader, one 1 KiB file: %.1f us per read, %.0f allocations per read\n",
                  ini.central * 1e6, counter(ini, "allocs/read"));
    }
    printStackPeaks();
  }

 private:
  struct Result {
    double central = 0;
    double min = 0;
    benchmark::UserCounters counters;
  };

  static double seconds(const Run& run) {
    static const std::map<benchmark::TimeUnit, double> perUnit = {{benchmark::kNanosecond, 1e-9},
                                                                  {benchmark::kMicrosecond, 1e-6},
                                                                  {benchmark::kMillisecond, 1e-3},
                                                                  {benchmark::kSecond, 1.0}};
    // CPU time: on a shared machine the wall clock also counts the time others had the core.
    return run.GetAdjustedCPUTime() * perUnit.at(run.time_unit);
  }

  static double counter(const Result& result, const char* name) {
    const auto found = result.counters.find(name);
    return found == result.counters.end() ? 0 : found->second.value;
  }

  std::map<std::string, Result> results_;
};

// For a run under callgrind, which counts instructions where the wall clock of a shared machine
// is too noisy: each frame and its floor run `frames` times between a reset of the counters and a
// dump labelled with the benchmark's name (bench/instructions.sh reads the dumps), and the
// plug-in's allocations per frame are printed as "allocs FRAME COUNT". Outside valgrind the
// client requests do nothing and this merely runs the frames.
void countInstructions(int frames) {
  for (const Frame frame : kFrames) {
    // The labels must outlive the client requests, which only see their addresses.
    const std::string plugin = std::string("frame/") + frameName(frame) + "/plugin";
    const std::string floor = std::string("frame/") + frameName(frame) + "/floor";
    prepareWorld(frame);
    const Trace trace = recordFrame(frame);
    const std::uint64_t before = heapAllocations();
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < frames; ++i) {
      prepareState(frame);
      runScriptPass();
    }
    CALLGRIND_DUMP_STATS_AT(plugin.c_str());
    std::printf("allocs %s %.2f\n", frameName(frame),
                static_cast<double>(heapAllocations() - before) / frames);
    replay(trace);  // once untimed, as the plug-in's frames had their first pass
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < frames; ++i) replay(trace);
    CALLGRIND_DUMP_STATS_AT(floor.c_str());
  }
}

}  // namespace
}  // namespace fraywick::bench

int main(int argc, char** argv) {
  constexpr std::string_view kInstructions = "--instructions=";
  if (argc == 2 && std::string_view(argv[1]).starts_with(kInstructions)) {
    fraywick::bench::countInstructions(std::atoi(argv[1] + kInstructions.size()));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  fraywick::bench::registerAll();
  fraywick::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
