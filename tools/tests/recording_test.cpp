// Recordings of the diagnostic build (Fraywick-diag) on the demo's scenarios: the build makes the
// shipped build's calls, its recording replays identically against the shipped build and explains
// to the simulator's own fates; a replay finds the first call that differs; a bad recording gets
// one message.
#include "demo/recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "demo/analysis.h"
#include "demo/atlas.h"
#include "demo/replay.h"
#include "demo/run.h"
#include "demo/scenario.h"
#include "demo/trace.h"
#include "diag/recording_format.h"
#include "sim/host.h"

namespace fraywick::demo {
namespace {

std::vector<Scenario> demoScenarios() {
  std::vector<Scenario> scenarios{defaultScenario()};
  for (const auto& entry : std::filesystem::directory_iterator(FRAYWICK_SCENARIO_DIR)) {
    if (entry.path().extension() != ".scn") continue;
    Scenario scenario;
    ScenarioError error;
    EXPECT_TRUE(loadScenario(entry.path().string(), scenario, error)) << error.describe();
    scenarios.push_back(scenario);
  }
  return scenarios;
}

demo::Run simulate(const Scenario& scenario, const std::string& plugin) {
  demo::Run run;
  std::string error;
  EXPECT_TRUE(runScenario(scenario, plugin, run, error)) << error;
  return run;
}

std::string traceOf(const demo::Run& run) {
  std::ostringstream out;
  writeTrace(run, out);
  return out.str();
}

Recording parsed(const std::string& text, const std::string& name = "test.rec") {
  Recording recording;
  ScenarioError error;
  EXPECT_TRUE(parseRecording(text, name, recording, error)) << error.describe();
  return recording;
}

ReplayOutcome replayed(const Recording& recording) {
  ReplayOutcome outcome;
  std::string error;
  EXPECT_TRUE(replayRecording(recording, sim::defaultPluginPath(), outcome, error)) << error;
  return outcome;
}

TEST(Recordings, OfEachScenarioReplayIdenticallyAndExplainTheSimulatorsFates) {
  for (const Scenario& scenario : demoScenarios()) {
    SCOPED_TRACE(scenario.source);
    const demo::Run shipped = simulate(scenario, sim::defaultPluginPath());
    const demo::Run diagnostic = simulate(scenario, FRAYWICK_DIAG_PLUGIN);
    EXPECT_FALSE(shipped.recording) << "the shipped build writes no recording";
    ASSERT_TRUE(diagnostic.recording) << "the diagnostic build wrote no recording";
    // Same calls, same slots, same order, same answers.
    EXPECT_EQ(traceOf(diagnostic), traceOf(shipped));

    const Recording recording = parsed(*diagnostic.recording);
    EXPECT_EQ(recording.frames, scenario.frames);
    const ReplayOutcome outcome = replayed(recording);
    EXPECT_TRUE(outcome.identical) << describeOutcome(recording, outcome);
    EXPECT_EQ(outcome.calls, shipped.calls.size());
    EXPECT_EQ(outcome.frames, scenario.frames);

    // Every ped the recording knows has the fate the simulator gave it; every ped that was
    // sorted in the simulation is known to the recording.
    const Analysis simulated = analyse(shipped);
    const Analysis explained = analyse(runOfRecording(recording));
    EXPECT_EQ(explained.detections.size(), simulated.detections.size());
    std::map<std::int32_t, Fate> simulatedFates;
    for (const PedFate& fate : simulated.fates) {
      simulatedFates[shipped.scenario.peds[fate.ped].ped.handle] = fate.fate;
    }
    const demo::Run session = runOfRecording(recording);
    std::map<std::int32_t, Fate> found;
    for (const PedFate& fate : explained.fates) {
      const std::int32_t handle = session.scenario.peds[fate.ped].ped.handle;
      found[handle] = fate.fate;
      EXPECT_EQ(fate.fate, simulatedFates[handle]) << "ped " << handle;
    }
    for (const auto& [handle, fate] : simulatedFates) {
      if (fate == Fate::Absent || fate == Fate::NoBrawl) continue;
      EXPECT_TRUE(found.contains(handle)) << "ped " << handle << " was sorted, but not recorded";
    }
  }
}

// The built-in evening's recording, with one line changed: the replay names the first call that
// differs, its frame, and what was expected and what came instead.
TEST(Recordings, ReplayFindsTheFirstCallThatDiffers) {
  const demo::Run diagnostic = simulate(defaultScenario(), FRAYWICK_DIAG_PLUGIN);
  ASSERT_TRUE(diagnostic.recording);
  const std::string original = *diagnostic.recording;
  // The saloon's hit: its event test answered 1.
  const std::string hit =
      "native 0x9DB47E16060D6354 isEventInSphere 0x000000002CA3408A 0x00000000C39AC000 "
      "0x00000000444A2C29 0x0000000042F2999A 0x0000000041000000 -> 0x0000000000000001";
  const std::size_t at = original.find(hit);
  ASSERT_NE(at, std::string::npos);
  const std::size_t hitLine = original.rfind('\n', at) + 1;
  std::size_t callsBefore = 0;  // call lines before the hit's
  for (std::size_t line = original.find('\n', original.find("# plugin")) + 1; line < hitLine;
       line = original.find('\n', line) + 1) {
    const std::string_view text(original.data() + line, original.find('\n', line) - line);
    if (text.find(" start ") == std::string_view::npos &&
        text.find(" GetTickCount64 ") == std::string_view::npos) {
      ++callsBefore;
    }
  }
  const struct {
    const char* what;
    std::string from, to;
    std::size_t differingCall;  // counted from 1
    const char* actual;
  } edits[] = {
      {"the plug-in pushes another slot than recorded", "0x0000000041000000 -> 0x0000000000000001",
       "0x0000000041100000 -> 0x0000000000000001", callsBefore + 1,
       "isEventInSphere 0x000000002CA3408A 0x00000000C39AC000 0x00000000444A2C29 "
       "0x0000000042F2999A 0x0000000041000000"},
      {"an answer sends the plug-in another way", "0x0000000041000000 -> 0x0000000000000001",
       "0x0000000041000000 -> 0x0000000000000000", callsBefore + 2,
       "isEventInSphere 0x0000000086D43C6C"},
  };
  for (const auto& edit : edits) {
    SCOPED_TRACE(edit.what);
    std::string text = original;
    text.replace(at + hit.size() - edit.from.size(), edit.from.size(), edit.to);
    const Recording recording = parsed(text);
    const ReplayOutcome outcome = replayed(recording);
    EXPECT_FALSE(outcome.identical);
    EXPECT_EQ(outcome.call, edit.differingCall);
    const std::string frame = text.substr(hitLine, at - hitLine - 1);
    EXPECT_EQ(outcome.frame, std::stoi(frame));
    const std::string said = describeOutcome(recording, outcome);
    EXPECT_NE(said.find("differs at frame " + frame + ", call " +
                        std::to_string(edit.differingCall) + ":\n"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("actual:   " + frame + " native 0x9DB47E16060D6354 " + edit.actual),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("expected (line "), std::string::npos) << said;
  }

  // A text slot is compared as text: the guard's name, in the first frame's first call.
  std::string text = original;
  text.replace(text.find("\"mudtown2\""), 10, "\"mudtown3\"");
  const ReplayOutcome outcome = replayed(parsed(text));
  EXPECT_FALSE(outcome.identical);
  EXPECT_EQ(outcome.frame, 1);
  EXPECT_EQ(outcome.call, 3u) << "after the two calls of the attach";
}

// A restart of the script within one load, with a changed Fraywick.ini: the recording marks both
// starts with the file each found, and the replay restarts where the recording did.
TEST(Recordings, MarkEachStartOfTheScriptAndReplayItsRestart) {
  WorkingFolder scratch;
  sim::resetWorld();
  sim::World& world = sim::world();
  const sim::Vec3 at = atlasSaloons()[0].point;
  sim::Ped player;
  player.handle = 1;
  player.player = true;
  player.position = {at.x, at.y - 5, at.z};
  world.addPed(player);
  for (int i = 0; i < 4; ++i) {
    sim::Ped ped;
    ped.handle = 10 + i;
    ped.male = i % 2 == 0;
    ped.position = {at.x + static_cast<float>(i), at.y, at.z};
    world.addPed(ped);
  }
  world.clockStepMs = 400;
  world.events.push_back({0x2CA3408A, at, world.clockMs + 2000, UINT64_MAX});
  std::string error;
  ASSERT_TRUE(sim::loadPlugin(FRAYWICK_DIAG_PLUGIN, &error)) << error;
  for (int frame = 0; frame < 3; ++frame) sim::tick();
  std::ofstream(scratch.path() / "Fraywick.ini", std::ios::binary)
      << "[Fraywick]\nFemaleBrawlers=1\n";
  ASSERT_TRUE(sim::restartScript());
  for (int frame = 0; frame < 6; ++frame) sim::tick();
  sim::unloadPlugin();
  std::ifstream file(scratch.path() / diag::kRecordingFileName, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_TRUE(world.errors.empty()) << world.errors.front();

  EXPECT_NE(text.find("\n1 start ini none\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n4 start ini 28 \"[Fraywick]\\x0AFemaleBrawlers=1\\x0A\"\n"),
            std::string::npos);
  const Recording recording = parsed(text);
  const ReplayOutcome outcome = replayed(recording);
  EXPECT_TRUE(outcome.identical) << describeOutcome(recording, outcome);
  EXPECT_EQ(outcome.frames, 9);
  // The restarted script read the new file: the women brawl too.
  const Analysis explained = analyse(runOfRecording(recording));
  std::size_t brawlers = 0;
  for (const PedFate& fate : explained.fates) brawlers += fate.fate == Fate::Brawler;
  EXPECT_EQ(brawlers, 4u);
}

TEST(Recordings, StopAtTheirSizeCapWithAFinalLineAndStillReplay) {
  const demo::Run capped = simulate(defaultScenario(), FRAYWICK_DIAG_SMALL_CAP_PLUGIN);
  ASSERT_TRUE(capped.recording);
  const std::string& text = *capped.recording;
  EXPECT_LE(text.size(), 65536u);
  EXPECT_GT(text.size(), 60000u);
  const std::size_t last = text.rfind('\n', text.size() - 2) + 1;
  EXPECT_TRUE(text.compare(last, 7, "capped ") == 0) << text.substr(last);
  const Recording recording = parsed(text);
  EXPECT_TRUE(recording.capped);
  const ReplayOutcome outcome = replayed(recording);
  EXPECT_TRUE(outcome.identical) << describeOutcome(recording, outcome);
  EXPECT_NE(describeOutcome(recording, outcome).find("up to the recording's size cap"),
            std::string::npos);
}

// Every way a recording can be bad gets one message naming the line and what was expected; a cut
// reads up to it; a last newline lost loses nothing.
TEST(Recordings, BadOnesGetOneMessageNamingTheLine) {
  // A short recording with a line of every kind, as the diagnostic build writes them.
  const std::string good =
      "# Fraywick recording, format 1\n"
      "# plugin 1.0.0 build Linux-x86_64 GNU-12.2.0 615a85ebb8ff\n"
      "load scriptRegister module#1 function#1\n"
      "load keyboardHandlerRegister function#2\n"
      "1 start ini 28 \"[Fraywick]\\x0AFemaleBrawlers=1\\x0A\"\n"
      "1 native 0xE97BD36574F8B0A6 queryByName \"mudtown2\" -> 0x0000000000000000\n"
      "1 GetTickCount64 -> 0x0000000000989680\n"
      "1 native 0x096275889B8E0EE0 playerPed -> 0x0000000000000065\n"
      "1 worldGetAllPeds 0x0000000000000100 -> 0x0000000000000002 : 0x00000065 0x00000066\n"
      "1 native 0x9DB47E16060D6354 isEventInSphere 0x000000002CA3408A 0x00000000C39AC000 "
      "0x00000000444A2C29 0x0000000042F2999A 0x0000000041000000 -> 0x0000000000000000\n"
      "1 scriptWait 0x0000000000000000\n"
      "2 native 0xA86D5F069399F44D entityPosition 0x0000000000000066 0x0000000000000000 "
      "0x0000000000000000 -> 0x00000000C39AC000 0x00000000444A2C29 0x0000000042F2999A\n"
      "2 scriptWait 0x0000000000000000\n"
      "unload scriptUnregister module#1\n"
      "unload keyboardHandlerUnregister function#2\n"
      "end 13\n";
  // A plug-in of this program's version or older, a release or a build in between, reads.
  const std::string mine = FRAYWICK_SIM_VERSION;
  const std::string numbers = mine.substr(0, mine.find_first_of("-+"));
  for (const std::string& version : {std::string("1.0.0"), std::string("1.1.0-dev+unknown"),
                                     numbers, numbers + "-dev+0123456789ab", mine}) {
    std::string text = good;
    EXPECT_EQ(parsed(text.replace(text.find("1.0.0"), 5, version)).pluginVersion, version);
  }

  const auto error = [](const std::string& text) {
    Recording recording;
    ScenarioError error;
    EXPECT_FALSE(parseRecording(text, "bad.rec", recording, error)) << text;
    return error;
  };
  // Cut short at any byte: within the header, one message; after it, the recording reads up to
  // its last complete frame and says where it was cut. The second text unloads in the middle of
  // a frame, whose lines must go even though the unload's stay.
  std::string unfinished = good;
  unfinished.erase(unfinished.find("2 scriptWait"),
                   unfinished.find("unload ") - unfinished.find("2 scriptWait"));
  unfinished.replace(unfinished.find("end 13"), 6, "end 12");
  parsed(unfinished);
  const std::size_t header = good.find('\n', good.find('\n') + 1) + 1;
  for (const std::string& text : {good, unfinished}) {
    // Short of its last newline alone, it reads whole (a row below).
    for (std::size_t size = 0; size + 1 < text.size(); ++size) {
      const std::string prefix = text.substr(0, size);
      if (size < header) {
        const ScenarioError e = error(prefix);
        ASSERT_TRUE(e.message.starts_with("expected ")) << size << ": " << e.message;
        ASSERT_GE(e.line, 1) << size;
        continue;
      }
      const std::string whole = prefix.substr(0, prefix.rfind('\n') + 1);  // its complete lines
      int waits = 0;
      for (std::size_t at = whole.find(" scriptWait "); at != std::string::npos;
           at = whole.find(" scriptWait ", at + 1)) {
        ++waits;
      }
      const Recording recording = parsed(prefix);
      ASSERT_TRUE(recording.cut) << size;
      EXPECT_EQ(recording.cut->afterFrame, waits) << size;
      EXPECT_EQ(recording.frames, waits) << size;
      EXPECT_EQ(recording.cut->inUnload, whole.find("\nunload ") != std::string::npos) << size;
      EXPECT_EQ(recording.cut->lineCut, whole.size() < prefix.size()) << size;
      for (const RecordedStep& step : recording.steps) EXPECT_LE(step.frame, waits) << size;
    }
  }
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  std::string windowsLineEnds;
  for (const char c : good) windowsLineEnds += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const struct {
    const char* what;
    std::string text;
    int line;  // 0: no damage that loses anything, it reads whole as `good` does
    std::string message;
  } cases[] = {
      {"whole but for its last newline", good.substr(0, good.size() - 1), 0, ""},
      {"whole but for its last line end, with Windows line ends",
       windowsLineEnds.substr(0, windowsLineEnds.size() - 2), 0, ""},
      {"unknown format", replaced("format 1\n", "format 2\n"), 1,
       "expected format 1, found format '2': a newer fraywick-sim reads it"},
      {"newer plug-in", replaced("# plugin 1.0.0", "# plugin 1.10.0"), 2,
       "expected a recording of Fraywick " FRAYWICK_SIM_VERSION
       " or older, found one of 1.10.0: a newer fraywick-sim reads it"},
      {"newer plug-in between releases", replaced("# plugin 1.0.0", "# plugin 1.10.0-dev+0a1b"), 2,
       "expected a recording of Fraywick " FRAYWICK_SIM_VERSION
       " or older, found one of 1.10.0-dev+0a1b: a newer fraywick-sim reads it"},
      {"a version cut after its dash", replaced("# plugin 1.0.0", "# plugin 1.0.0-"), 2,
       "expected the plug-in's version as N.N.N or N.N.N-dev+COMMIT, found '1.0.0-'"},
      {"garbage in a slot", replaced("0x0000000041000000", "0x00000000410000G0"), 10,
       "expected a slot as 0x and 16 hex digits, found '0x00000000410000G0'"},
      {"a line that is no call", replaced("load keyboardHandlerRegister", "load keyboardHandler"),
       4,
       "expected native, worldGetAllPeds, scriptWait, GetTickCount64, start or a hook function, "
       "found 'keyboardHandler'"},
      {"frames out of order", replaced("\n2 native", "\n3 native"), 12,
       "expected frame 2, found frame 3"},
      {"a miscounted final line", replaced("end 13", "end 3"), 16,
       "expected 'end 13' for the 13 lines before it, found 'end 3'"},
      {"a handle missing", replaced(" : 0x00000065", " :"), 9, "expected 2 ped handles, found 1"},
      {"a line after the end", good + "1 scriptWait 0x0000000000000000\n", 17,
       "expected nothing after the final line"},
      {"a load after the unload",
       good.substr(0, header) +
           "unload scriptUnregister module#1\nload scriptRegister module#1 function#1\nend 2\n",
       4, "expected 'unload' or the final line, found 'load'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.line == 0) {
      const Recording recording = parsed(c.text);
      EXPECT_FALSE(recording.cut) << cutNote(recording);
      EXPECT_EQ(recording.steps.size(), parsed(good).steps.size());
      continue;
    }
    const ScenarioError e = error(c.text);
    EXPECT_EQ(e.file, "bad.rec");
    EXPECT_EQ(e.line, c.line);
    EXPECT_TRUE(e.message.starts_with(c.message)) << e.message;
  }
}

}  // namespace
}  // namespace fraywick::demo
