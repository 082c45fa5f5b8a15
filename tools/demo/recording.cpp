#include "demo/recording.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "diag/native_signatures.h"
#include "diag/recording_format.h"
#include "host/natives.h"

#ifndef FRAYWICK_SIM_VERSION
#define FRAYWICK_SIM_VERSION "0.0.0"
#endif

namespace fraywick::demo {
namespace {

// Thrown inside the parser only, with what was expected at the current line.
struct Expected {
  std::string what;
};

[[noreturn]] void expected(std::string what) {
  throw Expected{std::move(what)};
}

std::string shown(std::string_view word) {
  std::string out;
  for (const char c : word.substr(0, 40)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  if (word.size() > 40) out += "...";
  return "'" + out + "'";
}

// The words of one line, separated by single spaces; a quoted text is one word.
class Words {
 public:
  explicit Words(std::string_view line) : rest_(line) {}

  bool done() const { return rest_.empty(); }

  std::string_view next(const char* what) {
    if (rest_.empty()) expected(std::string(what) + " before the end of the line");
    const std::size_t space = rest_.find(' ');
    const std::string_view word = rest_.substr(0, space);
    if (word.empty()) expected(std::string(what) + ", found an extra space");
    rest_ = space == std::string_view::npos ? std::string_view() : rest_.substr(space + 1);
    if (space != std::string_view::npos && rest_.empty()) expected("no space at the end of a line");
    return word;
  }

  void literal(std::string_view word) {
    const std::string_view found = next(("'" + std::string(word) + "'").c_str());
    if (found != word) expected("'" + std::string(word) + "', found " + shown(found));
  }

  bool peek(std::string_view word) const { return rest_.substr(0, rest_.find(' ')) == word; }

  // A text in double quotes: '\"', '\\' and \xNN escapes, other bytes printable ASCII.
  std::string quoted() {
    if (rest_.empty() || rest_[0] != '"') expected("a text in double quotes");
    std::string text;
    std::size_t i = 1;
    for (;; ++i) {
      if (i >= rest_.size()) expected("the closing double quote of the text");
      const char c = rest_[i];
      if (c == '"') break;
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x7F)
        expected("printable text, found byte " + shown(rest_.substr(i, 1)));
      if (c != '\\') {
        text += c;
        continue;
      }
      if (i + 1 >= rest_.size()) expected("an escape after '\\'");
      const char e = rest_[++i];
      if (e == '"' || e == '\\') {
        text += e;
      } else if (e == 'x' && i + 2 < rest_.size()) {
        unsigned value = 0;
        const char* first = rest_.data() + i + 1;
        const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
        if (ec != std::errc() || end != first + 2) expected("two hex digits after '\\x'");
        text += static_cast<char>(value);
        i += 2;
      } else {
        expected("an escape \\\", \\\\ or \\xNN");
      }
    }
    rest_ = rest_.substr(i + 1);
    if (!rest_.empty()) {
      if (rest_[0] != ' ' || rest_.size() == 1) expected("a space after the text");
      rest_ = rest_.substr(1);
    }
    return text;
  }

 private:
  std::string_view rest_;
};

std::uint64_t hexValue(std::string_view word, int digits, const char* what) {
  std::uint64_t value = 0;
  const bool shaped =
      word.size() == static_cast<std::size_t>(2 + digits) && word[0] == '0' && word[1] == 'x';
  if (shaped) {
    const auto [end, ec] = std::from_chars(word.data() + 2, word.data() + word.size(), value, 16);
    if (ec == std::errc() && end == word.data() + word.size()) return value;
  }
  expected(std::string(what) + " as 0x and " + std::to_string(digits) + " hex digits, found " +
           shown(word));
}

std::uint64_t decimal(std::string_view word, const char* what) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || ec != std::errc() || end != word.data() + word.size() ||
      (word.size() > 1 && word[0] == '0')) {
    expected(std::string(what) + " as a decimal number, found " + shown(word));
  }
  return value;
}

std::string token(Words& words, const char* kind) {
  const std::string_view word = words.next(kind);
  const std::string prefix = std::string(kind) + "#";
  if (word == "null") return std::string(word);
  if (!word.starts_with(prefix)) expected(prefix + "N, found " + shown(word));
  decimal(word.substr(prefix.size()), kind);
  return std::string(word);
}

// "1.2.0", or a build between releases, "1.2.0-dev+0123456789ab": the numbers, and ok when the
// text is one of those. Only the numbers order versions: a -dev build of 1.2.0 may come before
// the release of 1.2.0 or after it, and reads like it.
std::array<int, 3> versionOf(std::string_view text, bool& ok) {
  std::array<int, 3> parts{};
  ok = false;
  const std::size_t mark = text.find_first_of("-+");
  if (mark != std::string_view::npos) {
    const std::string_view suffix = text.substr(mark + 1);
    if (suffix.empty() ||
        suffix.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"
                                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ.+-") != std::string_view::npos) {
      return parts;
    }
    text = text.substr(0, mark);
  }
  for (int i = 0; i < 3; ++i) {
    const std::size_t dot = text.find('.');
    const std::string_view part = i < 2 ? text.substr(0, dot) : text;
    if (part.empty() || part.size() > 6) return parts;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), parts[i]);
    if (ec != std::errc() || end != part.data() + part.size()) return parts;
    if (i < 2) {
      if (dot == std::string_view::npos) return parts;
      text = text.substr(dot + 1);
    }
  }
  ok = true;
  return parts;
}

void readFormatLine(std::string_view first) {
  const std::string_view format = diag::kFormatLine;
  if (!first.starts_with(format)) {
    expected("'" + std::string(format) + std::to_string(diag::kFormatVersion) +
             "' as the first line, found " + shown(first));
  }
  const std::string_view number = first.substr(format.size());
  if (number != std::to_string(diag::kFormatVersion)) {
    expected("format " + std::to_string(diag::kFormatVersion) + ", found format " + shown(number) +
             ": a newer fraywick-sim reads it");
  }
}

void readPluginLine(std::string_view line, Recording& recording) {
  const std::string_view prefix = diag::kPluginLine;
  if (!line.starts_with(prefix)) {
    expected("'" + std::string(prefix) + "VERSION build ...' as the second line, found " +
             shown(line));
  }
  Words words(line.substr(prefix.size()));
  const std::string_view version = words.next("the plug-in's version");
  bool ok = false;
  const auto theirs = versionOf(version, ok);
  if (!ok) expected("the plug-in's version as N.N.N or N.N.N-dev+COMMIT, found " + shown(version));
  bool mineOk = false;
  const auto mine = versionOf(FRAYWICK_SIM_VERSION, mineOk);
  if (mineOk && theirs > mine) {
    expected("a recording of Fraywick " FRAYWICK_SIM_VERSION " or older, found one of " +
             std::string(version) + ": a newer fraywick-sim reads it");
  }
  recording.pluginVersion = version;
  words.literal("build");
  if (words.done()) expected("the build's identity after 'build'");
  recording.build = line.substr(line.find(" build ") + 7);
}

// Reads one line after the header into `step`; `frame` is the frame it must be in.
void readStep(std::string_view line, int frame, bool unloading, RecordedStep& step) {
  Words words(line);
  const std::string_view when = words.next("load, unload or a frame number");
  if (when == "load") {
    // Each load starts a file of its own, so nothing but the unload follows one.
    if (unloading) expected("'unload' or the final line, found 'load'");
    if (frame != 0)
      expected("frame " + std::to_string(frame) + ", found 'load' after the frames began");
    step.frame = 0;
  } else if (when == "unload") {
    step.frame = -1;
  } else {
    const std::uint64_t number = decimal(when, "load, unload or a frame number");
    if (unloading) expected("'unload' or the final line, found frame " + std::string(when));
    if (number != static_cast<std::uint64_t>(std::max(frame, 1))) {
      expected("frame " + std::to_string(std::max(frame, 1)) + ", found frame " +
               std::string(when));
    }
    step.frame = static_cast<int>(number);
  }

  const std::string_view kind = words.next("what happened");
  sim::Call& call = step.call;
  if (kind == "native") {
    call.kind = sim::CallKind::Native;
    call.hash = hexValue(words.next("the native's hash"), 16, "the native's hash");
    // The plug-in's own catalogue says what each of its natives takes and gives.
    const diag::NativeSignature& signature = diag::nativeSignature(call.hash);
    const std::string_view name = words.next("the native's name");
    if (name != signature.name) {
      expected(std::string("the name ") + signature.name + " for this hash, found " + shown(name));
    }
    const bool text = signature.text;
    while (!words.done() && !words.peek("->")) {
      if (text && call.args.empty()) {
        if (words.peek("null")) {
          words.next("null");
        } else {
          step.text = words.quoted();
        }
        call.args.push_back(0);
        continue;
      }
      call.args.push_back(hexValue(words.next("a slot"), 16, "a slot"));
      if (call.args.size() > 32) expected("at most 32 slots");
    }
    if (signature.hash != 0 && call.args.size() != signature.slots) {
      expected(std::to_string(signature.slots) + " slots for " + signature.name + ", found " +
               std::to_string(call.args.size()));
    }
    const int results = signature.resultSlots;
    if (results > 0) {
      words.literal("->");
      for (int i = 0; i < results; ++i) {
        call.results.push_back(hexValue(words.next("a result slot"), 16, "a result slot"));
      }
    }
  } else if (kind == "worldGetAllPeds") {
    call.kind = sim::CallKind::WorldGetAllPeds;
    const std::uint64_t capacity = hexValue(words.next("the capacity"), 16, "the capacity");
    if (capacity > 0x7FFFFFFF) expected("a capacity that fits an int");
    call.args = {capacity};
    words.literal("->");
    const std::uint64_t count = hexValue(words.next("the count"), 16, "the count");
    if (count > 0xFFFFFFFF) expected("a count of 32 bits");
    call.results = {count};
    words.literal(":");
    const auto signedCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(count));
    const std::int64_t expect = std::clamp<std::int64_t>(
        signedCount, 0, std::min<std::int64_t>(static_cast<std::int64_t>(capacity), 256));
    while (!words.done()) {
      step.peds.push_back(
          static_cast<std::int32_t>(hexValue(words.next("a ped handle"), 8, "a ped handle")));
      if (static_cast<std::int64_t>(step.peds.size()) > expect) break;
    }
    if (static_cast<std::int64_t>(step.peds.size()) != expect) {
      expected(std::to_string(expect) + " ped handles, found " + std::to_string(step.peds.size()));
    }
  } else if (kind == "scriptWait") {
    call.kind = sim::CallKind::ScriptWait;
    call.args = {hexValue(words.next("the milliseconds"), 16, "the milliseconds")};
    if (step.frame <= 0) expected("scriptWait only within a frame");
  } else if (kind == "scriptRegister") {
    call.kind = sim::CallKind::ScriptRegister;
    step.token[0] = token(words, "module");
    step.token[1] = token(words, "function");
  } else if (kind == "scriptUnregister") {
    call.kind = sim::CallKind::ScriptUnregister;
    step.token[0] = token(words, "module");
  } else if (kind == "keyboardHandlerRegister" || kind == "keyboardHandlerUnregister") {
    call.kind = kind == "keyboardHandlerRegister" ? sim::CallKind::KeyboardHandlerRegister
                                                  : sim::CallKind::KeyboardHandlerUnregister;
    step.token[0] = token(words, "function");
  } else if (kind == "GetTickCount64") {
    step.kind = RecordedStep::Kind::Clock;
    words.literal("->");
    step.clock = hexValue(words.next("the tick count"), 16, "the tick count");
  } else if (kind == "start") {
    step.kind = RecordedStep::Kind::Start;
    if (step.frame <= 0) expected("a start only within a frame");
    words.literal("ini");
    const std::string_view what = words.next("none, not-kept or the size of Fraywick.ini");
    if (what == diag::kNoIniWord) {
      // no file
    } else if (what == diag::kIniNotKeptWord) {
      step.settingsNotKept = decimal(words.next("the size of Fraywick.ini"), "the size");
    } else {
      const std::uint64_t size = decimal(what, "none, not-kept or the size of Fraywick.ini");
      step.settingsFile = words.quoted();
      if (step.settingsFile->size() != size) {
        expected(std::to_string(size) + " bytes of Fraywick.ini, found " +
                 std::to_string(step.settingsFile->size()));
      }
    }
  } else {
    expected(
        "native, worldGetAllPeds, scriptWait, GetTickCount64, start or a hook function, "
        "found " +
        shown(kind));
  }
  if (!words.done()) expected("the end of the line");
}

// The last bytes of a recording when no newline follows them: a finished recording that lost only
// its last newline (pasted into a bug report, say) when they are its final line, counted right;
// otherwise the line the game was cut short in.
bool finalLineUnended(std::string_view rest, std::size_t records) {
  if (rest.ends_with('\r')) rest.remove_suffix(1);
  for (const char* word : {diag::kEndWord, diag::kCappedWord}) {
    const std::string start = std::string(word) + " ";
    if (rest.starts_with(start)) return rest.substr(start.size()) == std::to_string(records);
  }
  return false;
}

}  // namespace

bool parseRecording(std::string_view text, const std::string& fileName, Recording& recording,
                    ScenarioError& error) {
  recording = Recording{};
  recording.file = fileName;
  int lineNumber = 0;
  try {
    std::size_t at = 0;
    const auto nextLine = [&](const char* what) {
      ++lineNumber;
      if (at >= text.size()) {
        expected(std::string(what) + ": the recording ends early (it was cut short)");
      }
      const std::size_t end = text.find('\n', at);
      if (end == std::string_view::npos) {
        expected("the line to end: the recording was cut short in it");
      }
      std::string_view line = text.substr(at, end - at);
      if (line.ends_with('\r')) line.remove_suffix(1);
      at = end + 1;
      return line;
    };

    const std::string_view first = nextLine("the format line");
    readFormatLine(first);
    readPluginLine(nextLine("the plug-in's version and build"), recording);

    int frame = 0;  // 0 until the first frame line
    int waits = 0;  // frames that ended
    bool unloading = false;
    std::size_t records = 0;
    for (;;) {
      const bool unended = at < text.size() && text.find('\n', at) == std::string_view::npos;
      if (at >= text.size() || (unended && !finalLineUnended(text.substr(at), records))) {
        // No final line: the game ended before the plug-in was unloaded, or while it was.
        RecordingCut cut;
        cut.afterFrame = waits;
        cut.inUnload = unloading;
        cut.lineCut = at < text.size();
        cut.leftOut = cut.lineCut ? 1 : 0;
        // A frame that never reached its scriptWait is left out wherever its lines stand: an
        // unload may follow them, and its lines are kept.
        std::erase_if(recording.steps, [&](const RecordedStep& step) {
          if (step.frame <= waits) return false;
          if (step.kind == RecordedStep::Kind::Call) --recording.calls;
          ++cut.leftOut;
          return true;
        });
        recording.frames = waits;
        recording.cut = cut;
        break;
      }
      std::string_view line;
      if (unended) {
        ++lineNumber;
        line = text.substr(at);
        if (line.ends_with('\r')) line.remove_suffix(1);
        at = text.size();
      } else {
        line = nextLine("more lines or the final line 'end N'");
      }
      const bool end = line.starts_with(std::string(diag::kEndWord) + " ");
      const bool capped = line.starts_with(std::string(diag::kCappedWord) + " ");
      if (end || capped) {
        const std::string_view number = line.substr(
            std::char_traits<char>::length(end ? diag::kEndWord : diag::kCappedWord) + 1);
        const std::uint64_t count = decimal(number, "the number of lines");
        if (count != records) {
          expected("'" + std::string(end ? diag::kEndWord : diag::kCappedWord) + " " +
                   std::to_string(records) + "' for the " + std::to_string(records) +
                   " lines before it, found " + shown(line));
        }
        if (at != text.size()) {
          ++lineNumber;
          expected("nothing after the final line");
        }
        recording.capped = capped;
        break;
      }
      RecordedStep step;
      step.line = lineNumber;
      readStep(line, frame, unloading, step);
      if (step.frame > 0 && frame == 0) frame = 1;
      if (step.frame < 0) unloading = true;
      if (step.kind == RecordedStep::Kind::Call) {
        ++recording.calls;
        if (step.call.kind == sim::CallKind::ScriptWait) {
          ++frame;
          ++waits;
        }
      }
      recording.frames = std::max(recording.frames, step.frame);
      recording.steps.push_back(std::move(step));
      ++records;
    }
  } catch (const Expected& problem) {
    error = {fileName, lineNumber, "expected " + problem.what};
    return false;
  }
  return true;
}

std::string cutNote(const Recording& recording) {
  if (!recording.cut) return {};
  const RecordingCut& cut = *recording.cut;
  std::string note = cut.afterFrame > 0 ? "cut short after frame " + std::to_string(cut.afterFrame)
                                        : std::string("cut short in frame 1, before it ended");
  note += cut.inUnload ? ", in the plug-in's unload: the game ended before the recording was "
                         "finished"
                       : ": the game ended without unloading the plug-in (a crash, or a forced "
                         "quit)";
  if (cut.leftOut > 0) {
    const bool one = cut.leftOut == 1;
    note += "; the " + (one ? std::string("line") : std::to_string(cut.leftOut) + " lines") +
            (cut.afterFrame > 0 ? " after it" : " of that frame") +
            (cut.lineCut ? (one ? ", cut in the middle," : ", the last cut in the middle,") : "") +
            (one ? " is" : " are") + " left out";
  }
  return note;
}

bool loadRecording(const std::string& path, Recording& recording, ScenarioError& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = {path, 0, "cannot open the recording"};
    return false;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return parseRecording(bytes.str(), path, recording, error);
}

std::string describeStep(const RecordedStep& step) {
  std::string line = step.frame == 0  ? std::string("load")
                     : step.frame < 0 ? std::string("unload")
                                      : std::to_string(step.frame);
  char hex[24];
  const auto add = [&](std::uint64_t value) {
    std::snprintf(hex, sizeof hex, " 0x%016llX", static_cast<unsigned long long>(value));
    line += hex;
  };
  switch (step.kind) {
    case RecordedStep::Kind::Clock:
      line += " GetTickCount64 ->";
      add(step.clock);
      return line;
    case RecordedStep::Kind::Start:
      line += " start";
      return line;
    case RecordedStep::Kind::Call:
      break;
  }
  const sim::Call& call = step.call;
  if (call.kind == sim::CallKind::Native) {
    const NativeInfo* native = nativeInfo(call.hash);
    line += " native";
    add(call.hash);
    line += " ";
    line += native != nullptr ? native->name : "unknown";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
      if (i == 0 && native != nullptr && native->text) {
        line += step.text ? " \"" + *step.text + "\"" : std::string(" null");
      } else {
        add(call.args[i]);
      }
    }
  } else {
    line += " ";
    line += sim::callKindName(call.kind);
    for (const std::string& t : step.token) {
      if (!t.empty()) line += " " + t;
    }
    if (call.kind == sim::CallKind::ScriptWait || call.kind == sim::CallKind::WorldGetAllPeds) {
      for (const std::uint64_t arg : call.args) add(arg);
    }
  }
  if (!call.results.empty()) {
    line += " ->";
    for (const std::uint64_t result : call.results) add(result);
  }
  return line;
}

// ----- a recording as a run -----

namespace {

std::uint32_t low(std::uint64_t slot) {
  return static_cast<std::uint32_t>(slot);
}

// What the game answered about one ped, and what the plug-in ordered for it.
struct Known {
  std::optional<sim::Vec3> position;
  std::optional<std::uint32_t> model;
  std::optional<bool> male, human, player, exists;
  sim::PedEffects effects;
};

}  // namespace

Run runOfRecording(const Recording& recording) {
  Run run;
  Scenario& s = run.scenario;
  s.title = "a recorded session";
  s.source = recording.file;
  s.frames = recording.frames;
  s.clockStepMs = 0;
  run.pluginPath = "Fraywick " + recording.pluginVersion + " (" + recording.build + ")";
  run.recorded = true;
  run.recordingCapped = recording.capped;
  run.recordingCut = cutNote(recording);

  std::map<std::int32_t, Known> known;
  std::vector<std::int32_t> sorted;    // the peds of the snapshots that were sorted, in order
  std::vector<std::int32_t> snapshot;  // the frame's snapshot so far
  bool clockSeen = false;
  bool hit = false;
  std::uint64_t clock = 0;
  int frame = 0;
  Frame current;
  const auto closeFrame = [&] {
    if (frame > 0) {
      current.endCall = run.calls.size();
      run.frames.push_back(current);
    }
  };

  for (const RecordedStep& step : recording.steps) {
    if (step.frame != frame) {
      closeFrame();
      frame = step.frame;
      hit = false;
      snapshot.clear();
      current = Frame{};
      current.number = frame;
      current.clockMs = clock;
      current.firstCall = run.calls.size();
      if (frame < 0) run.unloadFirst = run.calls.size();
    }
    if (step.kind == RecordedStep::Kind::Clock) {
      if (!clockSeen) s.clockStartMs = step.clock;
      clockSeen = true;
      clock = current.clockMs = step.clock;
      continue;
    }
    if (step.kind == RecordedStep::Kind::Start) {
      run.starts.push_back({step.frame, step.settingsFile, step.settingsNotKept});
      if (run.starts.size() == 1) s.settingsFile = step.settingsFile;
      continue;
    }
    const sim::Call& call = step.call;
    if (step.frame == 0) run.loadCalls = run.calls.size() + 1;
    if (step.text) run.texts[run.calls.size()] = *step.text;
    run.calls.push_back(call);
    if (call.kind == sim::CallKind::WorldGetAllPeds) snapshot = step.peds;
    if (call.kind != sim::CallKind::Native || call.args.empty()) continue;

    const std::uint32_t answer = call.results.empty() ? 0 : low(call.results[0]);
    if (call.hash == isEventInSphere.hash) {
      // A hit: the frame's snapshot is sorted for that saloon's brawl.
      if (answer != 0 && !hit) {
        hit = true;
        for (const std::int32_t ped : snapshot) {
          if (std::find(sorted.begin(), sorted.end(), ped) == sorted.end()) sorted.push_back(ped);
        }
      }
      continue;
    }
    Known& ped = known[static_cast<std::int32_t>(low(call.args[0]))];
    const auto second = [&] {
      return call.args.size() > 1 ? static_cast<std::int32_t>(low(call.args[1])) : 0;
    };
    switch (call.hash) {
      case entityExists.hash:
        ped.exists = answer != 0;
        break;
      case isPlayerPed.hash:
        ped.player = answer != 0;
        break;
      case isHumanPed.hash:
        ped.human = answer != 0;
        break;
      case isMalePed.hash:
        ped.male = answer != 0;
        break;
      case entityPosition.hash:
        if (call.results.size() == 3) {
          ped.position = sim::Vec3{std::bit_cast<float>(low(call.results[0])),
                                   std::bit_cast<float>(low(call.results[1])),
                                   std::bit_cast<float>(low(call.results[2]))};
        }
        break;
      case entityModel.hash:
        ped.model = answer;
        break;
      // What the plug-in ordered; whether the game carried it out, the recording cannot say.
      case fleeFromPed.hash:
        ped.effects.fleeingFrom = second();
        break;
      case clearTasks.hash:
        ped.effects.fightTarget.reset();
        ped.effects.fleeingFrom.reset();
        break;
      case setRelationshipGroup.hash:
        ped.effects.relationshipGroup = static_cast<std::uint32_t>(second());
        break;
      case fightPed.hash:
        ped.effects.fightTarget = second();
        break;
      default:
        break;
    }
  }
  closeFrame();
  if (frame >= 0) run.unloadFirst = run.calls.size();

  for (const std::int32_t handle : sorted) {
    const Known& k = known[handle];
    ScenarioPed ped;
    ped.ped.handle = handle;
    ped.ped.label = k.player.value_or(false) ? "the player" : "ped " + std::to_string(handle);
    ped.ped.position = k.position.value_or(sim::Vec3{});
    ped.positionAsked = k.position.has_value();
    ped.ped.model = k.model.value_or(0);
    ped.modelAsked = k.model.has_value();
    ped.ped.male = k.male.value_or(true);
    ped.ped.human = k.human.value_or(true);
    ped.ped.player = k.player.value_or(false);
    ped.ped.exists = k.exists.value_or(true);
    s.peds.push_back(ped);
    sim::Ped after = ped.ped;
    after.effects = k.effects;
    run.peds.push_back(after);
  }
  return run;
}

}  // namespace fraywick::demo
