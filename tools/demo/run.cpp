#include "demo/run.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "diag/recording_format.h"
#include "host/natives.h"
#include "sim/host.h"

namespace fraywick::demo {

namespace fs = std::filesystem;

namespace {

void buildWorld(const Scenario& scenario, sim::World& world) {
  world.clockMs = scenario.clockStartMs;
  world.clockStepMs = scenario.clockStepMs;
  world.randomSeed = scenario.seed;
  for (const ScenarioPed& ped : scenario.peds) world.addPed(ped.ped);
  for (const ScenarioEvent& event : scenario.events) {
    world.events.push_back({event.type, event.position, scenario.clockStartMs + event.from,
                            scenario.clockStartMs + event.until});
  }
  for (const ScenarioGuard& guard : scenario.guards) {
    world.guard.push_back(
        {scenario.clockStartMs + guard.from, scenario.clockStartMs + guard.until, guard.value});
  }
}

// Peds come and go between frames, as they walk in and out of the game's streaming range.
void updatePresence(const Scenario& scenario, sim::World& world) {
  const std::uint64_t since = world.clockMs - scenario.clockStartMs;
  for (std::size_t i = 0; i < scenario.peds.size(); ++i) {
    const ScenarioPed& ped = scenario.peds[i];
    world.peds[i].exists = ped.ped.exists && ped.presentAt(since);
  }
}

void writeSettings(const fs::path& dir, const std::string& bytes) {
  std::ofstream file(dir / "Fraywick.ini", std::ios::binary | std::ios::trunc);
  file << bytes;
}

// Changes Fraywick.ini as the restart says, then has the hook restart the script.
void restart(const ScenarioRestart& restart, const fs::path& dir) {
  switch (restart.ini) {
    case ScenarioRestart::Ini::Keep:
      break;
    case ScenarioRestart::Ini::Remove: {
      std::error_code ignored;
      fs::remove(dir / "Fraywick.ini", ignored);
      break;
    }
    case ScenarioRestart::Ini::Replace:
      writeSettings(dir, restart.settingsFile);
      break;
  }
  sim::restartScript();
}

}  // namespace

WorkingFolder::WorkingFolder() : previous_(fs::current_path()), scratch_(true) {
  std::random_device entropy;
  path_ = fs::temp_directory_path() / ("fraywick-sim-" + std::to_string(entropy()));
  fs::create_directories(path_);
  fs::current_path(path_);
}

WorkingFolder::WorkingFolder(const fs::path& kept)
    : previous_(fs::current_path()), path_(kept), scratch_(false) {
  fs::current_path(path_);
}

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  if (scratch_) fs::remove_all(path_, ignored);
}

bool takesText(std::uint64_t hash) {
  const NativeInfo* native = nativeInfo(hash);
  return native != nullptr && native->text;
}

bool runScenario(const Scenario& scenario, const std::string& pluginPath, Run& run,
                 std::string& error, const RunPlace& place) {
  run = Run{};
  run.scenario = scenario;
  run.pluginPath = pluginPath;

  const fs::path folder = place.folder.empty() ? fs::path() : fs::absolute(place.folder);
  if (!folder.empty() && !scenario.settingsFile && fs::exists(folder / "Fraywick.ini")) {
    // The plug-in would read a file the scenario does not describe; removing it is not ours.
    error = (folder / "Fraywick.ini").string() +
            " is there, but the scenario has no Fraywick.ini: remove the file, or give the "
            "scenario a [Fraywick.ini] section";
    return false;
  }
  if (!folder.empty()) {
    std::error_code failed;
    fs::create_directories(folder, failed);
    if (failed) {
      error = "cannot make the folder " + folder.string() + ": " + failed.message();
      return false;
    }
  }
  const WorkingFolder work = folder.empty() ? WorkingFolder() : WorkingFolder(folder);
  const fs::path& dir = work.path();
  if (scenario.settingsFile) writeSettings(dir, *scenario.settingsFile);

  sim::resetWorld();
  sim::World& world = sim::world();
  buildWorld(scenario, world);
  // The texts live in the plug-in's own storage, so they are copied while it is loaded.
  int natives = 0;
  world.afterNative = [&run, &natives, &place](sim::World& w, const sim::Call& call) {
    if (++natives == place.crashInNative) sim::endProcess(kCrashStatus);
    if (takesText(call.hash) && !call.args.empty() && call.args[0] != 0) {
      run.texts[w.calls.size()] =
          reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.args[0]));
    }
  };
  updatePresence(scenario, world);

  if (!sim::loadPlugin(pluginPath, &error)) {
    error = "cannot load the plug-in " + pluginPath + ": " + error;
    return false;
  }
  run.loadCalls = world.calls.size();
  if (!sim::scriptRegistered()) {
    sim::unloadPlugin();
    error = "the plug-in " + pluginPath + " registered no script";
    return false;
  }

  std::size_t nextRestart = 0;
  for (int number = 1; number <= scenario.frames; ++number) {
    updatePresence(scenario, world);
    Frame frame;
    frame.number = number;
    frame.clockMs = world.clockMs;
    while (nextRestart < scenario.restarts.size() &&
           scenario.clockStartMs + scenario.restarts[nextRestart].time <= world.clockMs) {
      restart(scenario.restarts[nextRestart], dir);
      frame.restarts.push_back(nextRestart++);
    }
    frame.firstCall = world.calls.size();
    sim::tick();
    frame.endCall = world.calls.size();
    run.frames.push_back(frame);
    if (number == place.crashAfter) sim::endProcess(kCrashStatus);
  }
  run.peds = world.peds;

  run.unloadFirst = world.calls.size();
  sim::unloadPlugin();
  // A diagnostic build has finished its recording at the detach; a scratch folder takes it along.
  if (std::ifstream recorded(dir / diag::kRecordingFileName, std::ios::binary); recorded) {
    std::ostringstream bytes;
    bytes << recorded.rdbuf();
    run.recording = bytes.str();
  }
  world.afterNative = nullptr;
  run.calls = std::move(world.calls);
  run.protocolErrors = world.errors;
  return true;
}

}  // namespace fraywick::demo
