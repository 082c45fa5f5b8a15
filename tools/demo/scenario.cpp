#include "demo/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "demo/atlas.h"
#include "settings/ini.h"

namespace fraywick::demo {

bool ScenarioPed::presentAt(std::uint64_t sinceStartMs) const {
  if (appearsAt && sinceStartMs < *appearsAt) return false;
  if (vanishesAt && sinceStartMs >= *vanishesAt) return false;
  return true;
}

std::string ScenarioError::describe() const {
  return file + ":" + std::to_string(line) + ": " + message;
}

// ----- the built-in scenario -----

namespace {

struct DefaultPed {
  const char* name;
  const char* model;
  float dx, dy, dz;  // from the Valentine saloon's trigger point
  bool male = true;
  bool human = true;
  bool player = false;
};

// Offsets that are sums of powers of two keep the float arithmetic exact: Eli stands at a
// distance of exactly 20.0, Gus at 20.0625.
// clang-format off
constexpr DefaultPed kEvening[] = {
    {"the player",     "PLAYER_ZERO",           -3.0f,  4.0f, 0, true,  true,  true},
    {"Otis Wexley",    "U_M_M_VALBARTENDER_01",  0.0f,  8.0f, 0},
    {"Silas Crane",    "A_M_M_VALTOWNFOLK_01",   6.0f,  0.0f, 0},
    {"Mabel Finch",    "A_F_M_VALTOWNFOLK_01",   8.0f, -3.0f, 0, false},
    {"Ezra Hollis",    "A_M_M_VALFARMER_01",    -6.0f, -1.0f, 0},
    {"Ada Quill",      "A_F_M_VALTOWNFOLK_01",  -9.0f, -4.0f, 0, false},
    {"Walt Pruitt",    "A_M_M_RANCHER_01",     -12.0f,  5.0f, 0},
    {"Rusty",          "A_C_DOGHOUND_01",        2.0f, -6.0f, 0, true,  false},
    {"Jonah Reed",     "A_M_Y_VALTOWNFOLK_01",  11.0f,  8.0f, 0},
    {"Hattie Vance",   "A_F_M_VALTOWNFOLK_01",  -6.0f,-10.0f, 0, false},
    {"Amos Tate",      "A_M_M_VALFARMER_01",    13.0f, -6.0f, 0},
    {"Rufus Dade",     "U_M_M_RHDBARTENDER_01",  4.0f,  5.0f, 0},
    {"Lottie Greer",   "A_F_M_VALTOWNFOLK_01",   5.0f,-11.0f, 0, false},
    {"Clem Harlow",    "A_M_M_RANCHER_01",     -14.0f, -8.0f, 0},
    {"Nell Bishop",    "A_F_M_VALTOWNFOLK_01",  -7.0f, 11.0f, 0, false},
    {"Hank Sutter",    "A_M_Y_VALTOWNFOLK_01",  13.0f, 12.0f, 0},
    {"Eli Barrow",     "A_M_M_VALTOWNFOLK_01",  20.0f,  0.0f, 0},
    {"Gus Nye",        "A_M_M_RANCHER_01",     -20.0625f, 0.0f, 0},
};
// clang-format on

}  // namespace

Scenario defaultScenario() {
  Scenario scenario;
  scenario.title = "An evening at the Valentine saloon";
  scenario.source = "built-in";
  scenario.frames = 400;
  scenario.seed = 7;
  const sim::Vec3 saloon = atlasSaloons()[0].point;
  std::int32_t handle = 101;
  for (const DefaultPed& entry : kEvening) {
    ScenarioPed ped;
    ped.ped.handle = handle++;
    ped.ped.label = entry.name;
    ped.modelName = entry.model;
    ped.ped.model = sim::hashOfName(entry.model);
    ped.ped.position = {saloon.x + entry.dx, saloon.y + entry.dy, saloon.z + entry.dz};
    ped.ped.male = entry.male;
    ped.ped.human = entry.human;
    ped.ped.player = entry.player;
    scenario.peds.push_back(ped);
  }
  // A melee fight breaks out inside (EVENT_SHOCKING_INTERESTING_MELEE_FIGHT), three seconds into
  // the evening.
  scenario.events.push_back({0x2CA3408A, {saloon.x + 2.0f, saloon.y - 2.5f, saloon.z}, 3000, 6000});
  return scenario;
}

// ----- reading a scenario file -----

namespace {

constexpr std::string_view kSettingsSection = "Fraywick.ini";

struct Field {
  std::string value;
  int line = 0;
};

// One section of the file as written: its header line and its keys with their lines.
struct RawSection {
  std::string name;
  int line = 0;
  std::map<std::string, Field> fields;
};

class Reader {
 public:
  Reader(std::string file, ScenarioError& error) : file_(std::move(file)), error_(error) {}

  bool fail(int line, std::string message) {
    error_.file = file_;
    error_.line = line;
    error_.message = std::move(message);
    return false;
  }

  // Whole numbers in [low, high].
  bool number(const RawSection& section, const char* key, std::int64_t low, std::int64_t high,
              const char* what, std::int64_t& out) {
    const Field& field = section.fields.at(key);
    const std::string& text = field.value;
    std::int64_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc{} || end != text.data() + text.size() || value < low ||
        value > high) {
      return fail(field.line, std::string("expected ") + key + " = " + what + " (" +
                                  std::to_string(low) + " to " + std::to_string(high) +
                                  "), found '" + text + "'");
    }
    out = value;
    return true;
  }

  bool milliseconds(const RawSection& section, const char* key, std::uint64_t& out) {
    std::int64_t value = 0;
    if (!number(section, key, 0, kMaxMs, "milliseconds after the clock start", value)) {
      return false;
    }
    out = static_cast<std::uint64_t>(value);
    return true;
  }

  // A 32-bit hash in hex (0x2CA3408A) or decimal.
  bool hash(const Field& field, const char* key, const char* what, std::uint32_t& out) {
    const std::string& text = field.value;
    std::uint64_t value = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    const auto [end, status] = std::from_chars(begin, last, value, hex ? 16 : 10);
    if (text.empty() || status != std::errc{} || end != last || value > 0xFFFFFFFFull) {
      return fail(field.line,
                  std::string("expected ") + key + " = " + what + ", found '" + text + "'");
    }
    out = static_cast<std::uint32_t>(value);
    return true;
  }

  bool yesNo(const Field& field, const char* key, bool& out) {
    if (field.value == "yes") {
      out = true;
    } else if (field.value == "no") {
      out = false;
    } else {
      return fail(field.line,
                  std::string("expected ") + key + " = yes or no, found '" + field.value + "'");
    }
    return true;
  }

  // "x, y, z" in world metres, or a saloon's label with an optional "+ dx, dy, dz" offset.
  bool position(const Field& field, sim::Vec3& out) {
    static const char* const kExpected =
        "expected at = x, y, z (metres) or at = SALOON [+ dx, dy, dz], e.g. at = Valentine + 2, "
        "-1.5, 0";
    std::string text = field.value;
    sim::Vec3 base{};
    if (!text.empty() &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
      const std::size_t plus = text.find('+');
      std::string name = text.substr(0, plus);
      trim(name);
      const auto row = saloonNamed(name);
      if (!row) {
        return fail(field.line,
                    "expected a saloon of the plug-in's table (Valentine, Rhodes, "
                    "SaintDenis2, ...), found '" +
                        name + "'");
      }
      base = atlasSaloons()[*row].point;
      if (plus == std::string::npos) {
        out = base;
        return true;
      }
      text = text.substr(plus + 1);
    }
    float parts[3];
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
      const std::size_t comma = i < 2 ? text.find(',', start) : text.size();
      if (comma == std::string::npos) {
        return fail(field.line, std::string(kExpected) + ", found '" + field.value + "'");
      }
      std::string part = text.substr(start, comma - start);
      trim(part);
      const char* first = part.data();
      if (!part.empty() && part[0] == '+') ++first;  // from_chars takes no plus sign
      const auto [end, status] = std::from_chars(first, part.data() + part.size(), parts[i]);
      if (part.empty() || status != std::errc{} || end != part.data() + part.size()) {
        return fail(field.line, std::string(kExpected) + ", found '" + field.value + "'");
      }
      // from_chars reads "inf" and "nan" too; no ped or event stands there.
      if (!std::isfinite(parts[i])) {
        return fail(field.line, "expected a finite number, found '" + part + "'");
      }
      start = comma + 1;
    }
    // Offsets are added in 32-bit floats, as the game would hold the sum.
    out = {base.x + parts[0], base.y + parts[1], base.z + parts[2]};
    return true;
  }

  bool require(const RawSection& section, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
      if (!section.fields.contains(key)) {
        return fail(section.line, "[" + section.name + "] needs a line '" + key + " = ...'");
      }
    }
    return true;
  }

  static constexpr std::int64_t kMaxMs = 1'000'000'000;

 private:
  std::string file_;
  ScenarioError& error_;
};

const std::map<std::string, std::set<std::string>>& knownKeys() {
  static const std::map<std::string, std::set<std::string>> keys = {
      {"scenario", {"title", "frames", "clock_start", "clock_step", "seed"}},
      {"ped",
       {"name", "handle", "model", "at", "sex", "human", "player", "exists", "appears",
        "vanishes"}},
      {"event", {"type", "at", "from", "until"}},
      {"guard", {"from", "until", "value"}},
      {"restart", {"time", "ini"}},
  };
  return keys;
}

std::string joined(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

bool buildScenarioSection(Reader& in, const RawSection& section, Scenario& scenario) {
  const auto has = [&](const char* key) { return section.fields.contains(key); };
  std::int64_t value = 0;
  if (has("title")) scenario.title = section.fields.at("title").value;
  if (has("frames")) {
    // Every call of every frame is kept for the report: a cap keeps that within memory.
    if (!in.number(section, "frames", 1, 100'000, "a number of script ticks", value)) {
      return false;
    }
    scenario.frames = static_cast<int>(value);
  }
  if (has("clock_start")) {
    if (!in.number(section, "clock_start", 0, std::numeric_limits<std::int64_t>::max() / 2,
                   "the tick count in milliseconds at the first frame", value)) {
      return false;
    }
    scenario.clockStartMs = static_cast<std::uint64_t>(value);
  }
  if (has("clock_step")) {
    if (!in.number(section, "clock_step", 0, 60'000, "milliseconds per frame", value)) {
      return false;
    }
    scenario.clockStepMs = static_cast<std::uint64_t>(value);
  }
  if (has("seed")) {
    if (!in.number(section, "seed", 0, std::numeric_limits<std::int64_t>::max(),
                   "a whole number for the game's random generator", value)) {
      return false;
    }
    scenario.seed = static_cast<std::uint64_t>(value);
  }
  return true;
}

bool buildPed(Reader& in, const RawSection& section, Scenario& scenario, ModelNames& models) {
  if (!in.require(section, {"model", "at"})) return false;
  const auto has = [&](const char* key) { return section.fields.contains(key); };
  ScenarioPed ped;
  std::int64_t value = 0;
  if (has("handle")) {
    if (!in.number(section, "handle", std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max(), "a 32-bit ped handle", value)) {
      return false;
    }
    ped.ped.handle = static_cast<std::int32_t>(value);
  } else {
    const std::int32_t previous = scenario.peds.empty() ? 0 : scenario.peds.back().ped.handle;
    // 0 refers to no ped, and the handle after the largest one wraps around.
    ped.ped.handle = previous == std::numeric_limits<std::int32_t>::max() ? 1 : previous + 1;
    if (ped.ped.handle == 0) ped.ped.handle = 1;
  }
  if (ped.ped.handle == 0) {
    return in.fail(section.fields.at("handle").line, "a ped's handle must not be 0");
  }
  for (const ScenarioPed& other : scenario.peds) {
    if (other.ped.handle == ped.ped.handle) {
      return in.fail(has("handle") ? section.fields.at("handle").line : section.line,
                     "handle " + std::to_string(ped.ped.handle) + " is taken by '" +
                         other.ped.label + "'; every ped needs its own");
    }
  }
  ped.ped.label =
      has("name") ? section.fields.at("name").value : "ped " + std::to_string(ped.ped.handle);

  const Field& model = section.fields.at("model");
  const bool byHash = !model.value.empty() && model.value[0] >= '0' && model.value[0] <= '9';
  if (byHash) {
    if (!in.hash(model, "model", "a model name or a 32-bit hash such as 0x9B8E0EE0",
                 ped.ped.model)) {
      return false;
    }
  } else {
    for (const char c : model.value) {
      const bool word =
          (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
      if (!word) {
        return in.fail(model.line,
                       "expected model = a model name (letters, digits, '_') or a "
                       "hash such as 0x9B8E0EE0, found '" +
                           model.value + "'");
      }
    }
    ped.modelName = model.value;
    ped.ped.model = sim::hashOfName(model.value.c_str());
    models.add(model.value);
  }
  if (!in.position(section.fields.at("at"), ped.ped.position)) return false;

  if (has("sex")) {
    const Field& sex = section.fields.at("sex");
    if (sex.value != "male" && sex.value != "female") {
      return in.fail(sex.line, "expected sex = male or female, found '" + sex.value + "'");
    }
    ped.ped.male = sex.value == "male";
  }
  if (has("human") && !in.yesNo(section.fields.at("human"), "human", ped.ped.human)) return false;
  if (has("player") && !in.yesNo(section.fields.at("player"), "player", ped.ped.player)) {
    return false;
  }
  if (has("exists") && !in.yesNo(section.fields.at("exists"), "exists", ped.ped.exists)) {
    return false;
  }
  std::uint64_t ms = 0;
  if (has("appears")) {
    if (!in.milliseconds(section, "appears", ms)) return false;
    ped.appearsAt = ms;
  }
  if (has("vanishes")) {
    if (!in.milliseconds(section, "vanishes", ms)) return false;
    ped.vanishesAt = ms;
  }
  if (ped.appearsAt && ped.vanishesAt && *ped.vanishesAt <= *ped.appearsAt) {
    return in.fail(section.fields.at("vanishes").line, "expected vanishes to come after appears (" +
                                                           std::to_string(*ped.appearsAt) + " ms)");
  }
  scenario.peds.push_back(std::move(ped));
  return true;
}

bool buildEvent(Reader& in, const RawSection& section, Scenario& scenario) {
  if (!in.require(section, {"type", "at", "from", "until"})) return false;
  ScenarioEvent event;
  if (!in.hash(section.fields.at("type"), "type", "an event-type hash such as 0x2CA3408A",
               event.type) ||
      !in.position(section.fields.at("at"), event.position) ||
      !in.milliseconds(section, "from", event.from) ||
      !in.milliseconds(section, "until", event.until)) {
    return false;
  }
  if (event.until <= event.from) {
    return in.fail(section.fields.at("until").line,
                   "expected until to come after from (" + std::to_string(event.from) + " ms)");
  }
  scenario.events.push_back(event);
  return true;
}

bool buildGuard(Reader& in, const RawSection& section, Scenario& scenario) {
  if (!in.require(section, {"from", "until"})) return false;
  ScenarioGuard guard;
  if (!in.milliseconds(section, "from", guard.from) ||
      !in.milliseconds(section, "until", guard.until)) {
    return false;
  }
  if (guard.until <= guard.from) {
    return in.fail(section.fields.at("until").line,
                   "expected until to come after from (" + std::to_string(guard.from) + " ms)");
  }
  if (section.fields.contains("value")) {
    std::int64_t value = 0;
    if (!in.number(section, "value", std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max(),
                   "what the guard query answers meanwhile", value)) {
      return false;
    }
    guard.value = static_cast<std::int32_t>(value);
  }
  scenario.guards.push_back(guard);
  return true;
}

// ini = keep, remove, or the lines of the new file with '|' between them.
bool buildRestart(Reader& in, const RawSection& section, Scenario& scenario) {
  if (!in.require(section, {"time"})) return false;
  ScenarioRestart restart;
  if (!in.milliseconds(section, "time", restart.time)) return false;
  if (const auto ini = section.fields.find("ini"); ini != section.fields.end()) {
    const std::string& value = ini->second.value;
    if (value == "keep") {
      restart.ini = ScenarioRestart::Ini::Keep;
    } else if (value == "remove") {
      restart.ini = ScenarioRestart::Ini::Remove;
    } else if (value.empty()) {
      return in.fail(ini->second.line,
                     "expected ini = keep, remove, or the new file's lines with '|' between "
                     "them, e.g. ini = [Fraywick] | FemaleBrawlers=0");
    } else {
      restart.ini = ScenarioRestart::Ini::Replace;
      std::size_t start = 0;
      for (;;) {
        const std::size_t bar = value.find('|', start);
        std::string line = value.substr(start, bar == std::string::npos ? bar : bar - start);
        trim(line);
        restart.settingsFile += line + "\n";
        if (bar == std::string::npos) break;
        start = bar + 1;
      }
    }
  }
  scenario.restarts.push_back(std::move(restart));
  return true;
}

// Where line `line` (1-based) of `text` begins, or text.size() past the last line.
std::size_t offsetOfLine(std::string_view text, int line) {
  std::size_t offset = 0;
  for (int i = 1; i < line; ++i) {
    const std::size_t lf = text.find('\n', offset);
    if (lf == std::string_view::npos) return text.size();
    offset = lf + 1;
  }
  return offset;
}

}  // namespace

bool parseScenario(std::string_view text, const std::string& fileName, Scenario& scenario,
                   ScenarioError& error) {
  scenario = Scenario{};
  scenario.source = fileName;
  scenario.title = fileName;
  Reader in(fileName, error);
  ModelNames models;

  // The project's own line grammar decides what each line is; the line numbers are ours.
  const std::vector<std::string> lines = splitIniLines(text);
  std::vector<RawSection> sections;
  std::pair<std::string, std::string> parsed;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    switch (parseLine(lines[i], parsed)) {
      case IniLineKind::Empty:
      case IniLineKind::Comment:
        break;
      case IniLineKind::Section: {
        if (parsed.first == kSettingsSection) {
          // Everything after this header is the settings file, byte for byte.
          scenario.settingsFile = std::string(text.substr(offsetOfLine(text, line + 1)));
          i = lines.size();
          break;
        }
        if (!knownKeys().contains(parsed.first)) {
          return in.fail(line,
                         "expected a section [scenario], [ped], [event], [guard], [restart] "
                         "or [Fraywick.ini], found '[" +
                             parsed.first + "]'");
        }
        if (parsed.first == "scenario") {
          for (const RawSection& earlier : sections) {
            if (earlier.name == "scenario") {
              return in.fail(line, "[scenario] may appear only once (first at line " +
                                       std::to_string(earlier.line) + ")");
            }
          }
        }
        sections.push_back({parsed.first, line, {}});
        break;
      }
      case IniLineKind::KeyValue: {
        if (sections.empty()) {
          return in.fail(
              line, "expected a section header such as [ped] before '" + parsed.first + " = ...'");
        }
        RawSection& section = sections.back();
        const std::set<std::string>& allowed = knownKeys().at(section.name);
        if (!allowed.contains(parsed.first)) {
          return in.fail(line, "expected one of the keys of [" + section.name + "] (" +
                                   joined(allowed) + "), found '" + parsed.first + "'");
        }
        if (const auto earlier = section.fields.find(parsed.first);
            earlier != section.fields.end()) {
          return in.fail(line, "'" + parsed.first + "' is given twice in this [" + section.name +
                                   "] (first at line " + std::to_string(earlier->second.line) +
                                   ")");
        }
        section.fields[parsed.first] = {parsed.second, line};
        break;
      }
      case IniLineKind::Unrecognized:
        return in.fail(line,
                       "expected 'key = value', a [section] header or a ';' comment, "
                       "found '" +
                           lines[i] + "'");
    }
  }

  for (const RawSection& section : sections) {
    bool ok = true;
    if (section.name == "scenario") ok = buildScenarioSection(in, section, scenario);
    if (section.name == "ped") ok = buildPed(in, section, scenario, models);
    if (section.name == "event") ok = buildEvent(in, section, scenario);
    if (section.name == "guard") ok = buildGuard(in, section, scenario);
    if (section.name == "restart") ok = buildRestart(in, section, scenario);
    if (!ok) return false;
  }
  std::stable_sort(
      scenario.restarts.begin(), scenario.restarts.end(),
      [](const ScenarioRestart& a, const ScenarioRestart& b) { return a.time < b.time; });
  return true;
}

bool loadScenario(const std::string& path, Scenario& scenario, ScenarioError& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = {path, 0, "cannot open the scenario file"};
    return false;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return parseScenario(bytes.str(), path, scenario, error);
}

const char* scenarioFormatHelp() {
  return R"(SCENARIO FILES
  A scenario is a text file of sections. Lines starting with ';' are comments; every
  other line is a [section] header or 'key = value'. Times are milliseconds after the
  clock start; positions are world metres "x, y, z", or a saloon's name with an
  optional offset: "Valentine" or "Valentine + 20, 0, 0". Hashes are hex (0x2CA3408A)
  or decimal. Unknown sections and keys are errors, so typos do not pass unnoticed.

  [scenario]            once, optional
    title = TEXT        shown in the report and on the map
    frames = N          script ticks to run, up to 100000 (default 400)
    clock_start = MS    the tick count at the first frame (default 10000000)
    clock_step = MS     added after every frame (default 16)
    seed = N            seed of the game's random numbers (default 1)

  [ped]                 one section per ped, in the order the game lists them
    name = TEXT         for the report (default "ped HANDLE")
    handle = N          non-zero, unique (default: the previous ped's plus one)
    model = NAME|HASH   e.g. A_M_M_VALTOWNFOLK_01, U_M_M_RHDBARTENDER_01, 0xB807927B
    at = POSITION       required
    sex = male|female   (default male)
    human = yes|no      (default yes)
    player = yes|no     (default no)
    exists = yes|no     (default yes)
    appears = MS        in the world from then on (optional)
    vanishes = MS       gone from then on (optional)

  [event]               a game event, active from 'from' until just before 'until'
    type = HASH         the plug-in reacts to 0x2CA3408A, 0x86D43C6C, 0x73DBE22C,
                        0xF5C6180C and 0x71B212BD within 8 m of a saloon
    at = POSITION
    from = MS
    until = MS

  [guard]               the game has its script "mudtown2" loaded meanwhile, and
                        the plug-in holds off
    from = MS
    until = MS
    value = N           what the guard query answers (default 1)

  [restart]             the hook stops the script and starts it again while the
                        plug-in stays loaded, as when the game reloads a session:
                        the director's memory carries over, the settings are read
                        again; any number of them
    time = MS           before the first frame at or after this time
    ini = keep          Fraywick.ini stays as it is (default)
    ini = remove        Fraywick.ini is removed first
    ini = LINE | LINE   Fraywick.ini is rewritten first, with these lines, e.g.
                        ini = [Fraywick] | FemaleBrawlers=0

  [Fraywick.ini]        must come last: every line after this header, byte for byte,
                        becomes the Fraywick.ini the plug-in finds. Without this
                        section there is no Fraywick.ini at all.

  Example:
    [scenario]
    title = Two patrons
    frames = 200
    [ped]
    name = Amos
    model = A_M_M_VALTOWNFOLK_01
    at = Valentine + 2, 0, 0
    [ped]
    name = Ada
    model = A_F_M_VALTOWNFOLK_01
    sex = female
    at = Valentine + -3, 1, 0
    [event]
    type = 0x2CA3408A
    at = Valentine
    from = 1000
    until = 3000
    [Fraywick.ini]
    [Fraywick]
    FemaleBrawlers=1
)";
}

}  // namespace fraywick::demo
