#include "demo/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "demo/atlas.h"

namespace fraywick::demo {
namespace {

// As long as the values make it: a row holds names of any length, and a row cut at a fixed size
// would lose its line end and run into the next.
std::string format(const char* pattern, auto... values) {
  const int length = std::snprintf(nullptr, 0, pattern, values...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, values...);
  text.pop_back();
  return text;
}

// A name as the terminal gets it: a control byte, which would move the cursor, colour the text or
// end it early (NUL), is shown as \xNN.
std::string printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? format("\\x%02X", byte) : std::string(1, c);
  }
  return out;
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string range(std::size_t low, std::size_t high) {
  return low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
}

std::string settingsLine(const Scenario& scenario) {
  if (!scenario.settingsFile) return "no Fraywick.ini: only men join a brawl";
  return "Fraywick.ini of " + plural(scenario.settingsFile->size(), "byte", "bytes");
}

std::string restartLine(const ScenarioRestart& restart) {
  switch (restart.ini) {
    case ScenarioRestart::Ini::Keep:
      return "Fraywick.ini as it was, script started anew";
    case ScenarioRestart::Ini::Remove:
      return "Fraywick.ini removed, script started anew";
    case ScenarioRestart::Ini::Replace:
      return "Fraywick.ini rewritten (" + plural(restart.settingsFile.size(), "byte", "bytes") +
             "), script started anew";
  }
  return "script started anew";
}

constexpr char kNotAsked[] = "not asked";
constexpr char kNotFinite[] = "not finite";

std::string modelOf(const ModelNames& models, const ScenarioPed& ped) {
  return ped.modelAsked ? models.nameOf(ped.ped.model) : kNotAsked;
}

std::string settingsText(const std::optional<std::string>& file) {
  return file ? "Fraywick.ini of " + plural(file->size(), "byte", "bytes")
              : std::string("no Fraywick.ini");
}

// What a recording says of the session it comes from.
void writeRecordingHeader(const Run& run, std::ostream& out) {
  const Scenario& s = run.scenario;
  out << "Fraywick in a recorded session: " << printable(s.source) << "\n";
  out << "  plug-in   " << printable(run.pluginPath) << "\n";
  out << "  frames    " << s.frames;
  if (run.recordingCapped) out << " (then the recording reached its size cap)";
  out << "; the director read tick counts from " << s.clockStartMs << "\n";
  if (!run.recordingCut.empty()) out << "  ends      " << run.recordingCut << "\n";
  for (const Run::Start& start : run.starts) {
    out << "  start     frame " << start.frame << ": ";
    if (start.settingsNotKept) {
      out << "Fraywick.ini of " << plural(*start.settingsNotKept, "byte", "bytes")
          << ", too big to keep\n";
    } else {
      out << settingsText(start.settingsFile) << "\n";
    }
  }
  // A start in a frame that never ended is left out with the rest of that frame.
  if (run.starts.empty()) {
    out << (run.recordingCut.empty() || s.frames > 0
                ? "  start     the script entry never started\n"
                : "  start     left out with the first frame, which was cut short\n");
  }
  out << "  (what the plug-in did not ask the game, the recording cannot tell: \"not asked\")\n";
}

// What a scenario says of the world it builds.
void writeScenarioHeader(const Run& run, std::ostream& out) {
  const Scenario& s = run.scenario;
  out << "Fraywick in the simulator: " << printable(s.title) << "\n";
  out << "  scenario  " << s.source << ": " << plural(s.peds.size(), "ped", "peds") << ", "
      << plural(s.events.size(), "event", "events") << ", "
      << (s.guards.empty() ? std::string("no guard")
                           : plural(s.guards.size(), "guard span", "guard spans"))
      << "\n";
  out << "  clock     " << s.frames << " frames of " << s.clockStepMs << " ms from tick count "
      << s.clockStartMs << "; random seed " << s.seed << "\n";
  out << "  settings  " << settingsLine(s) << "\n";
  for (const Frame& frame : run.frames) {
    for (const std::size_t index : frame.restarts) {
      out << format("  restart   frame %d, %.3f s in: ", frame.number,
                    static_cast<double>(frame.clockMs - s.clockStartMs) / 1000.0)
          << restartLine(s.restarts[index]) << "\n";
    }
  }
}

void writeSaloon(const Run& run, const Analysis& analysis, std::size_t row, std::ostream& out) {
  const ModelNames models = [&] {
    ModelNames names;
    for (const ScenarioPed& ped : run.scenario.peds) {
      if (!ped.modelName.empty()) names.add(ped.modelName);
    }
    return names;
  }();

  std::size_t brawlers = 0, fled = 0, skipped = 0;
  std::size_t nameWidth = 4, modelWidth = 5;
  for (const PedFate& fate : analysis.fates) {
    if (fate.saloon != row) continue;
    const ScenarioPed& ped = run.scenario.peds[fate.ped];
    nameWidth = std::max(nameWidth, printable(ped.ped.label).size());
    modelWidth = std::max(modelWidth, modelOf(models, ped).size());
    if (fate.fate == Fate::Brawler) {
      ++brawlers;
    } else if (fate.fate == Fate::FledBartender) {
      ++fled;
    } else {
      ++skipped;
    }
  }
  const bool brawled = std::any_of(analysis.detections.begin(), analysis.detections.end(),
                                   [&](const Detection& d) { return d.row == row; });
  out << "\n" << atlasSaloons()[row].name << " (row " << row << "): ";
  if (brawled) {
    out << plural(brawlers, "brawler", "brawlers") << ", "
        << (fled > 0 ? "the bartender flees" : "no bartender flees") << ", "
        << plural(skipped, "ped", "peds") << " left out\n";
  } else {
    out << "no brawl\n";
  }

  const int nw = static_cast<int>(nameWidth), mw = static_cast<int>(modelWidth);
  out << format("  %-7s %-*s  %-*s  %9s  %s\n", "handle", nw, "name", mw, "model", "distance",
                "fate");
  for (const PedFate& fate : analysis.fates) {
    if (fate.saloon != row) continue;
    const ScenarioPed& ped = run.scenario.peds[fate.ped];
    // A recording holds only what the plug-in asked, and what the game answered: no guess where
    // it did not ask, no number where the answer was none.
    const bool finite = fate.positionKnown && std::isfinite(fate.distance);
    const std::string distance = finite ? format("%.2f m", static_cast<double>(fate.distance))
                                 : fate.positionKnown || fate.positionNotFinite
                                     ? std::string(kNotFinite)
                                     : std::string(kNotAsked);
    std::string why = fate.why;
    if (fate.fate == Fate::Brawler && fate.group) why += format(" (group 0x%04X)", *fate.group);
    out << format("  %-7d %-*s  %-*s  %9s  ", ped.ped.handle, nw, printable(ped.ped.label).c_str(),
                  mw, modelOf(models, ped).c_str(), distance.c_str())
        << printable(why) << "\n";
  }
}

std::string metresOf(float radius) {
  return format("%g m", static_cast<double>(radius));
}

// "A", "A and B", "A, B and C".
std::string listOf(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// "the 3 later scans", "the one later scan".
std::string theLaterScans(int count) {
  return count == 1 ? std::string("the one later scan")
                    : "the " + std::to_string(count) + " later scans";
}

// "any of the 24 scans", "the one scan".
std::string anyOfTheScans(int count) {
  return count == 1 ? std::string("the one scan")
                    : "any of the " + std::to_string(count) + " scans";
}

// The words of a reason, wrapped for the terminal under a hanging indent.
void writeWrapped(const std::string& text, std::ostream& out) {
  constexpr std::size_t kWidth = 96;
  std::size_t column = 0;
  std::size_t at = 0;
  out << "  - ";
  column = 4;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::string word =
        text.substr(at, space == std::string::npos ? std::string::npos : space - at);
    at = space == std::string::npos ? text.size() : space + 1;
    // A unit stays with its number: "8 m", "3.024 s".
    const bool unit = word == "m" || word == "m." || word == "s" || word == "s.";
    if (column > 4 && column + 1 + word.size() > kWidth && !unit) {
      out << "\n    ";
      column = 4;
    } else if (column > 4) {
      out << ' ';
      ++column;
    }
    out << word;
    column += word.size();
  }
  out << "\n";
}

}  // namespace

Answer answerOf(const Run& run, const Analysis& analysis) {
  const Watch& watch = analysis.watch;
  const auto saloons = atlasSaloons();
  Answer answer;

  std::vector<std::string> brawled;
  std::vector<bool> brawledRow(saloons.size());
  for (const Detection& d : analysis.detections) {
    if (!brawledRow[d.row]) brawled.push_back(saloons[d.row].name);
    brawledRow[d.row] = true;
  }
  answer.headline = brawled.empty() ? "No." : "Yes, at " + listOf(brawled) + ".";

  for (std::size_t i = 0; i < analysis.detections.size(); ++i) {
    const Detection& d = analysis.detections[i];
    std::string line =
        format("%s: a brawl started in frame %d, %.3f s in: event 0x%08X within %s of the saloon; ",
               saloons[d.row].name, d.frame, static_cast<double>(d.sinceStartMs) / 1000.0,
               d.eventType, metresOf(d.radius).c_str());
    line +=
        d.brawlers == 0 ? "but no ped was recruited" : plural(d.brawlers, "brawler", "brawlers");
    line += d.bartenderFled ? ", and the bartender flees." : ", and no bartender flees.";
    const bool lastOfItsSaloon =
        std::none_of(analysis.detections.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                     analysis.detections.end(), [&](const Detection& e) { return e.row == d.row; });
    const int after = watch.saloons[d.row].scansAfterBrawl;
    if (lastOfItsSaloon && after > 0) {
      line += " It was not tested again in " + theLaterScans(after) +
              ": it had already brawled during this load.";
    }
    answer.reasons.push_back(line);
  }

  if (watch.frames == 0) {
    answer.reasons.push_back(
        "There is no frame to look at: the plug-in's script did not finish a single one.");
  }
  if (watch.guardedFrames > 0) {
    const std::string script = watch.guardName.empty() ? std::string("guard script")
                                                       : "script \"" + watch.guardName + "\"";
    std::string line = "The game's " + script + " was loaded, so the plug-in held off for " +
                       std::to_string(watch.guardedFrames) + " of " +
                       plural(static_cast<std::size_t>(watch.frames), "frame", "frames");
    if (watch.guardedFrames == watch.frames) {
      line += watch.frames == 1 ? "" : " (all of them)";
    } else if (watch.guardSpans == 1) {
      line += " (frames " +
              range(static_cast<std::size_t>(watch.firstGuarded),
                    static_cast<std::size_t>(watch.lastGuarded)) +
              ")";
    } else {
      line += format(" (in %d stretches, from frame %d to frame %d)", watch.guardSpans,
                     watch.firstGuarded, watch.lastGuarded);
    }
    answer.reasons.push_back(line + ".");
  }
  if (watch.frames > watch.guardedFrames && watch.scans == 0) {
    answer.reasons.push_back(
        "The plug-in never scanned: it did not once ask for the player ped and the peds around.");
  }
  if (watch.scansWithoutPlayer > 0) {
    answer.reasons.push_back(
        watch.scansWithoutPlayer == watch.scans
            ? "There was no player ped in " + anyOfTheScans(watch.scans) +
                  ", so no saloon was tested."
            : format("In %d of the %d scans there was no player ped, so %s tested no saloon.",
                     watch.scansWithoutPlayer, watch.scans,
                     watch.scansWithoutPlayer == 1 ? "that scan" : "those scans"));
  }

  // The saloons that did not brawl, those tested equally often together.
  std::vector<std::size_t> quiet;
  for (std::size_t row = 0; row < saloons.size(); ++row) {
    if (!brawledRow[row]) quiet.push_back(row);
  }
  std::vector<bool> told(saloons.size());
  for (const std::size_t row : quiet) {
    if (told[row]) continue;
    const int scans = watch.saloons[row].scans;
    std::vector<std::string> names;
    for (const std::size_t other : quiet) {
      if (told[other] || watch.saloons[other].scans != scans) continue;
      told[other] = true;
      names.push_back(saloons[other].name);
    }
    std::string who = listOf(names);
    if (names.size() > 1 && names.size() == quiet.size()) {
      who = (brawled.empty() ? "All " : "The other ") + std::to_string(names.size()) +
            " saloons (" + who + ")";
    }
    const bool one = names.size() == 1;
    if (scans == 0) {
      answer.reasons.push_back(who + ": never tested for a trigger event.");
    } else {
      answer.reasons.push_back(who + ": no trigger event within " +
                               metresOf(watch.eventRadius.value_or(0)) + " in " +
                               anyOfTheScans(scans) + " that tested " + (one ? "it." : "them."));
    }
  }

  if (!run.recordingCut.empty()) {
    answer.reasons.push_back("The recording was " + run.recordingCut + ".");
  }
  if (run.recordingCapped) {
    answer.reasons.push_back("The recording reached its size cap after frame " +
                             std::to_string(watch.frames) + ": what followed is not in it.");
  }
  return answer;
}

void writeReport(const Run& run, const Analysis& analysis, std::ostream& out, bool answerFirst) {
  if (answerFirst) {
    const Answer answer = answerOf(run, analysis);
    out << kQuestion << " " << answer.headline << "\n";
    for (const std::string& reason : answer.reasons) writeWrapped(printable(reason), out);
    out << "\n";
  }
  if (run.recorded) {
    writeRecordingHeader(run, out);
  } else {
    writeScenarioHeader(run, out);
  }

  out << "\nTrigger events detected\n";
  if (analysis.detections.empty()) out << "  none: no saloon brawled\n";
  for (const Detection& d : analysis.detections) {
    out << format("  frame %d, %.3f s in: event 0x%08X within %s of %s (row %zu)\n", d.frame,
                  static_cast<double>(d.sinceStartMs) / 1000.0, d.eventType,
                  metresOf(d.radius).c_str(), atlasSaloons()[d.row].name, d.row);
  }

  // One table per saloon that brawled or that has peds standing at it.
  std::vector<std::size_t> rows;
  for (const Detection& d : analysis.detections) rows.push_back(d.row);
  for (const PedFate& fate : analysis.fates) rows.push_back(fate.saloon);
  std::vector<std::size_t> shown;
  for (const std::size_t row : rows) {
    if (std::find(shown.begin(), shown.end(), row) != shown.end()) continue;
    shown.push_back(row);
    writeSaloon(run, analysis, row, out);
  }

  out << "\nCost in native calls per frame\n";
  out << format("  %-11s %6s  %7s  %10s  %s\n", "frames", "count", "natives", "hook calls",
                "what happens");
  for (const FrameCost& cost : analysis.costs) {
    out << format("  %-11s %6d  %7s  %10s  %s\n", cost.kind.c_str(), cost.frames,
                  range(cost.minNatives, cost.maxNatives).c_str(),
                  range(cost.minHookCalls, cost.maxHookCalls).c_str(), cost.note.c_str());
  }
  if (!analysis.brawlFrameNatives.empty()) {
    out << "  the first brawl frame, by native:\n   ";
    std::size_t width = 3;
    for (const auto& [name, count] : analysis.brawlFrameNatives) {
      const std::string item = " " + name + " " + std::to_string(count);
      if (width + item.size() > 96) {
        out << "\n   ";
        width = 3;
      }
      out << item;
      width += item.size();
    }
    out << "\n";
  }
  if (!run.protocolErrors.empty()) {
    out << "\nThe simulated hook saw misuse of its protocol:\n";
    for (const std::string& error : run.protocolErrors) out << "  " << error << "\n";
  }
}

}  // namespace fraywick::demo
