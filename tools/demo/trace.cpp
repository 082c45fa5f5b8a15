#include "demo/trace.h"

#include <cstdio>
#include <map>

namespace fraywick::demo {
namespace {

std::string hex64(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// One more word of a line. (Appending, rather than " " + word, also keeps g++ 12 from a false
// -Wrestrict alarm about the temporary.)
void add(std::string& line, const std::string& word) {
  line += ' ';
  line += word;
}

const char* iniWord(ScenarioRestart::Ini ini) {
  switch (ini) {
    case ScenarioRestart::Ini::Keep:
      return "kept";
    case ScenarioRestart::Ini::Remove:
      return "removed";
    case ScenarioRestart::Ini::Replace:
      return "replaced";
  }
  return "?";
}

}  // namespace

void writeTrace(const Run& run, std::ostream& out) {
  const Scenario& s = run.scenario;
  out << "# fraywick-sim trace, format " << kTraceFormat << "\n";
  out << "# frames=" << s.frames << " clock_start=" << s.clockStartMs
      << " clock_step=" << s.clockStepMs << " seed=" << s.seed << "\n";

  Tokens modules("module");
  Tokens functions("function");
  std::size_t frame = 0;
  for (std::size_t i = 0; i < run.calls.size(); ++i) {
    while (frame < run.frames.size() && i >= run.frames[frame].endCall) ++frame;
    if (frame < run.frames.size() && i == run.frames[frame].firstCall) {
      for (const std::size_t index : run.frames[frame].restarts) {
        out << run.frames[frame].number << " restart Fraywick.ini "
            << iniWord(s.restarts.at(index).ini) << "\n";
      }
    }
    std::string when;
    if (i < run.loadCalls) {
      when = "load";
    } else if (i >= run.unloadFirst) {
      when = "unload";
    } else {
      when = std::to_string(run.frames[frame].number);
    }

    const sim::Call& call = run.calls[i];
    std::string line = when;
    line += ' ';
    switch (call.kind) {
      case sim::CallKind::Native: {
        const char* name = sim::nativeName(call.hash);
        line += "native";
        add(line, hex64(call.hash));
        add(line, name != nullptr ? name : "unknown");
        for (std::size_t slot = 0; slot < call.args.size(); ++slot) {
          const auto text = run.texts.find(i);
          if (slot == 0 && takesText(call.hash) && text != run.texts.end()) {
            add(line, quoted(text->second));
          } else if (slot == 0 && takesText(call.hash) && call.args[0] == 0) {
            add(line, "null");
          } else {
            add(line, hex64(call.args[slot]));
          }
        }
        break;
      }
      case sim::CallKind::ScriptRegister:
        line += sim::callKindName(call.kind);
        add(line, modules(call.args.at(0)));
        add(line, functions(call.args.at(1)));
        break;
      case sim::CallKind::ScriptUnregister:
        line += sim::callKindName(call.kind);
        add(line, modules(call.args.at(0)));
        break;
      case sim::CallKind::KeyboardHandlerRegister:
      case sim::CallKind::KeyboardHandlerUnregister:
        line += sim::callKindName(call.kind);
        add(line, functions(call.args.at(0)));
        break;
      case sim::CallKind::ScriptWait:
      case sim::CallKind::WorldGetAllPeds:
        line += sim::callKindName(call.kind);
        for (const std::uint64_t arg : call.args) add(line, hex64(arg));
        break;
    }
    if (!call.results.empty()) {
      line += " ->";
      for (const std::uint64_t result : call.results) add(line, hex64(result));
    }
    out << line << "\n";
  }
}

}  // namespace fraywick::demo
