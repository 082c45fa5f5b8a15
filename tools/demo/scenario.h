// A scenario for fraywick-sim: the world to build around the plug-in, how long to run it, and
// the Fraywick.ini it should find. It is either the built-in evening at the Valentine saloon or
// a text file in the format that `fraywick-sim --help` documents (see scenarioFormatHelp()).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/world.h"

namespace fraywick::demo {

struct ScenarioPed {
  sim::Ped ped;           // handle, position, model, sex, human, player, exists, label
  std::string modelName;  // as written in the scenario; empty when the model was given as a hash
  // Milliseconds after the clock start: the ped is in the world from `appearsAt` (inclusive)
  // until `vanishesAt` (exclusive). Without either it is there all the time.
  std::optional<std::uint64_t> appearsAt;
  std::optional<std::uint64_t> vanishesAt;
  // A ped of a recording is known only by what the plug-in asked the game about it.
  bool positionAsked = true;
  bool modelAsked = true;

  // Whether the ped is in the world `sinceStartMs` after the clock start.
  bool presentAt(std::uint64_t sinceStartMs) const;
};

// Times are milliseconds after the clock start.
struct ScenarioEvent {
  std::uint32_t type = 0;
  sim::Vec3 position;
  std::uint64_t from = 0;
  std::uint64_t until = 0;
};

struct ScenarioGuard {
  std::uint64_t from = 0;
  std::uint64_t until = 0;
  std::int32_t value = 1;
};

// The hook stops the script and starts its entry again while the plug-in stays loaded, as when
// the game reloads a session.
struct ScenarioRestart {
  enum class Ini { Keep, Remove, Replace };

  std::uint64_t time = 0;    // milliseconds after the clock start: before the first frame from then
  Ini ini = Ini::Keep;       // what becomes of Fraywick.ini just before
  std::string settingsFile;  // its new bytes, for Replace
};

struct Scenario {
  std::string title;
  std::string source;  // the file it came from, or "built-in"
  int frames = 400;
  std::uint64_t clockStartMs = 10'000'000;
  std::uint64_t clockStepMs = 16;
  std::uint64_t seed = 1;
  std::vector<ScenarioPed> peds;
  std::vector<ScenarioEvent> events;
  std::vector<ScenarioGuard> guards;
  std::optional<std::string> settingsFile;  // the bytes of Fraywick.ini; none: no file at all
  std::vector<ScenarioRestart> restarts;    // in time order
};

// What is wrong with a scenario file, and where: "FILE:LINE: what was expected".
struct ScenarioError {
  std::string file;
  int line = 0;
  std::string message;

  std::string describe() const;
};

// The evening at the Valentine saloon that `fraywick-sim` runs without a scenario file.
Scenario defaultScenario();

// Reads a scenario from the text of a file. `fileName` only labels the result and the errors.
// Returns false, with `error` filled and `scenario` unspecified, at the first problem.
bool parseScenario(std::string_view text, const std::string& fileName, Scenario& scenario,
                   ScenarioError& error);

// Reads a scenario file; a file that cannot be read is reported at line 0.
bool loadScenario(const std::string& path, Scenario& scenario, ScenarioError& error);

// The reference of the format, as --help prints it.
const char* scenarioFormatHelp();

}  // namespace fraywick::demo
