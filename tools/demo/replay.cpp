#include "demo/replay.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "demo/trace.h"
#include "sim/host.h"
#include "sim/world.h"

namespace fraywick::demo {
namespace {

constexpr std::size_t kContext = 4;

std::string hex64(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, " 0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

std::string when(int frame) {
  return frame == 0 ? "load" : frame < 0 ? "unload" : std::to_string(frame);
}

class Replayer final : public sim::Answers {
 public:
  explicit Replayer(const Recording& recording) : recording_(recording) {}

  int frame = 0;

  void native(std::uint64_t hash, const std::uint64_t* slots, std::size_t count,
              std::uint64_t* results) override {
    if (unchecked()) return;
    const RecordedStep* step = expect();
    bool same = step != nullptr && step->kind == RecordedStep::Kind::Call &&
                step->call.kind == sim::CallKind::Native && step->call.hash == hash &&
                step->call.args.size() == count;
    for (std::size_t i = 0; same && i < count; ++i) {
      if (i == 0 && takesText(hash)) {
        const char* text = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(slots[0]));
        same = text == nullptr ? !step->text : step->text && *step->text == text;
      } else {
        same = slots[i] == step->call.args[i];
      }
    }
    if (!same) {
      std::string actual = when(frame) + " native" + hex64(hash) + " ";
      const char* name = sim::nativeName(hash);
      actual += name != nullptr ? name : "unknown";
      for (std::size_t i = 0; i < count; ++i) {
        const char* text = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(slots[0]));
        if (i == 0 && takesText(hash)) {
          actual += text != nullptr ? " \"" + std::string(text) + "\"" : std::string(" null");
        } else {
          actual += hex64(slots[i]);
        }
      }
      differ(step, actual);
      return;
    }
    for (std::size_t i = 0; i < step->call.results.size(); ++i) results[i] = step->call.results[i];
    matched();
  }

  int peds(int* peds, int capacity) override {
    if (unchecked()) return 0;
    const RecordedStep* step = expect();
    if (step == nullptr || step->kind != RecordedStep::Kind::Call ||
        step->call.kind != sim::CallKind::WorldGetAllPeds ||
        step->call.args.at(0) != static_cast<std::uint64_t>(capacity)) {
      differ(step, when(frame) + " worldGetAllPeds" + hex64(static_cast<std::uint32_t>(capacity)));
      return 0;
    }
    const std::size_t room = static_cast<std::size_t>(std::max(capacity, 0));
    std::copy_n(step->peds.begin(), std::min(room, step->peds.size()), peds);
    matched();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(step->call.results.at(0)));
  }

  std::uint64_t clock() override {
    if (unchecked()) return lastClock_;
    const RecordedStep* step = expect();
    if (step == nullptr || step->kind != RecordedStep::Kind::Clock) {
      differ(step, when(frame) + " GetTickCount64");
      return lastClock_;
    }
    lastClock_ = step->clock;
    ++next_;
    return lastClock_;
  }

  void hookCall(sim::CallKind kind, const std::vector<std::uint64_t>& args) override {
    std::string actual = when(frame) + " " + sim::callKindName(kind);
    std::string tokens[2];
    switch (kind) {
      case sim::CallKind::ScriptRegister:
        tokens[0] = modules_(args.at(0));
        tokens[1] = functions_(args.at(1));
        break;
      case sim::CallKind::ScriptUnregister:
        tokens[0] = modules_(args.at(0));
        break;
      case sim::CallKind::KeyboardHandlerRegister:
      case sim::CallKind::KeyboardHandlerUnregister:
        tokens[0] = functions_(args.at(0));
        break;
      default:
        break;
    }
    for (const std::string& token : tokens) {
      if (!token.empty()) actual += " " + token;
    }
    if (kind == sim::CallKind::ScriptWait) actual += hex64(args.at(0));
    if (unchecked()) return;
    const RecordedStep* step = expect();
    const bool same = step != nullptr && step->kind == RecordedStep::Kind::Call &&
                      step->call.kind == kind && step->token[0] == tokens[0] &&
                      step->token[1] == tokens[1] &&
                      (kind != sim::CallKind::ScriptWait || step->call.args == args);
    if (!same) {
      differ(step, actual);
      return;
    }
    matched();
  }

  // After the last frame: every recorded call must have come.
  void finish() {
    if (unchecked()) return;
    if (const RecordedStep* step = expect())
      differ(step, "nothing: the plug-in made no more calls");
  }

  bool diverged() const { return diverged_; }
  void fill(ReplayOutcome& outcome) const {
    outcome.identical = !diverged_;
    outcome.calls = calls_;
    outcome.frame = divergedFrame_;
    outcome.call = calls_ + 1;
    outcome.difference = difference_;
  }

 private:
  // The next recorded call or clock read; starts are the driver's. Nothing once the plug-in has
  // gone its own way, or past the end of a capped recording.
  const RecordedStep* expect() {
    while (next_ < recording_.steps.size() &&
           recording_.steps[next_].kind == RecordedStep::Kind::Start) {
      ++next_;
    }
    return next_ < recording_.steps.size() ? &recording_.steps[next_] : nullptr;
  }

  // Nothing is checked, and natives answer zero, once the plug-in has gone its own way or has
  // gone past the end of a recording that was capped or cut short.
  bool unchecked() {
    return diverged_ || ((recording_.capped || recording_.cut) && expect() == nullptr);
  }

  void matched() {
    ++next_;
    ++calls_;
  }

  void differ(const RecordedStep* step, const std::string& actual) {
    if (diverged_) return;
    diverged_ = true;
    divergedFrame_ = frame;
    std::string text;
    // The recorded lines before it, for context.
    std::size_t from = next_;
    for (std::size_t shown = 0; from > 0 && shown < kContext; ++shown) --from;
    for (std::size_t i = from; i < next_ && i < recording_.steps.size(); ++i) {
      text += "    " + describeStep(recording_.steps[i]) + "\n";
    }
    text +=
        "  expected (line " + (step != nullptr ? std::to_string(step->line) : std::string("-")) +
        "): " + (step != nullptr ? describeStep(*step) : std::string("the end of the recording")) +
        "\n";
    text += "  actual:   " + actual + "\n";
    difference_ = text;
  }

  const Recording& recording_;
  std::size_t next_ = 0;
  std::size_t calls_ = 0;
  std::uint64_t lastClock_ = 0;
  bool diverged_ = false;
  int divergedFrame_ = 0;
  std::string difference_;
  Tokens modules_{"module"};
  Tokens functions_{"function"};
};

}  // namespace

bool replayRecording(const Recording& recording, const std::string& pluginPath,
                     ReplayOutcome& outcome, std::string& error) {
  outcome = ReplayOutcome{};
  std::map<int, const RecordedStep*> starts;
  for (const RecordedStep& step : recording.steps) {
    if (step.kind != RecordedStep::Kind::Start) continue;
    if (step.settingsNotKept) {
      error = recording.file + ":" + std::to_string(step.line) +
              ": the Fraywick.ini of this start was too big to keep (" +
              std::to_string(*step.settingsNotKept) + " bytes); it cannot be replayed";
      return false;
    }
    starts[step.frame] = &step;
  }

  WorkingFolder scratch;
  const auto settingsPath = scratch.path() / "Fraywick.ini";
  sim::resetWorld();
  sim::World& world = sim::world();
  world.recording = false;
  world.clockStepMs = 0;
  Replayer replayer(recording);
  world.answers = &replayer;

  replayer.frame = 0;
  if (!sim::loadPlugin(pluginPath, &error)) {
    world.answers = nullptr;
    error = "cannot load the plug-in " + pluginPath + ": " + error;
    return false;
  }
  bool started = false;
  for (int frame = 1; frame <= recording.frames && !replayer.diverged(); ++frame) {
    if (const auto start = starts.find(frame); start != starts.end()) {
      std::error_code ignored;
      std::filesystem::remove(settingsPath, ignored);
      if (start->second->settingsFile) {
        std::ofstream(settingsPath, std::ios::binary) << *start->second->settingsFile;
      }
      // The hook started the script anew where the recording says so.
      if (started) sim::restartScript();
      started = true;
    }
    replayer.frame = frame;
    if (!sim::tick()) break;
    outcome.frames = frame;
  }
  replayer.frame = -1;
  sim::unloadPlugin();
  if (!replayer.diverged()) replayer.finish();
  world.answers = nullptr;
  replayer.fill(outcome);
  return true;
}

std::string describeOutcome(const Recording& recording, const ReplayOutcome& outcome) {
  // A recording cut short says where it ends, whatever the replay found.
  const std::string cut = recording.cut ? "The recording was " + cutNote(recording) + ".\n" : "";
  if (outcome.identical) {
    return std::string(recording.cut ? "identical up to the cut: " : "identical: ") +
           std::to_string(outcome.calls) + " calls over " + std::to_string(outcome.frames) +
           " frames" + (recording.capped ? " (up to the recording's size cap)" : "") + "\n" + cut;
  }
  return "differs at " +
         (outcome.frame > 0 ? "frame " + std::to_string(outcome.frame)
                            : std::string(outcome.frame == 0 ? "load" : "unload")) +
         ", call " + std::to_string(outcome.call) + ":\n" + outcome.difference + cut;
}

}  // namespace fraywick::demo
