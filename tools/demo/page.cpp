#include "demo/page.h"

#include <sstream>
#include <string>

#include "demo/markup.h"
#include "demo/report.h"
#include "demo/svg_map.h"

namespace fraywick::demo {
namespace {

constexpr char kStyle[] = R"(<style>
  body { font-family: 'Segoe UI', 'DejaVu Sans', Verdana, sans-serif; color: #2b1d0e;
         background: #f7f1e3; max-width: 1280px; margin: 1.5em auto; padding: 0 1em; }
  h1 { font-size: 1.7em; margin-bottom: 0.3em; }
  h2 { font-size: 1.25em; margin-top: 1.6em; border-bottom: 1px solid #c9b98f; }
  #why li { margin: 0.35em 0; line-height: 1.4; }
  .from { color: #5a4630; font-size: 0.9em; }
  pre { background: #efe6d0; padding: 0.8em; overflow-x: auto; font-size: 0.85em; }
  svg { max-width: 100%; height: auto; }
</style>
)";

// The file's own name, without its folder: for the title of the browser's tab.
std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string bytes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

void writeSettings(const std::optional<std::string>& file, std::ostream& out) {
  if (!file) {
    out << "no Fraywick.ini was there.</p>\n";
    return;
  }
  out << "Fraywick.ini of " << bytes(file->size()) << ":</p>\n<pre>" << markupEscaped(*file)
      << "</pre>\n";
}

}  // namespace

void writeHtmlPage(const Run& run, const Analysis& analysis, std::ostream& out) {
  const Answer answer = answerOf(run, analysis);
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
      << "<title>Fraywick: " << markupEscaped(baseName(run.scenario.source)) << "</title>\n"
      << kStyle << "</head>\n<body>\n";

  out << "<h1 id=\"answer\">" << kQuestion << " " << markupEscaped(answer.headline) << "</h1>\n";
  out << "<ul id=\"why\">\n";
  for (const std::string& reason : answer.reasons) {
    out << "<li>" << markupEscaped(reason) << "</li>\n";
  }
  out << "</ul>\n";
  out << "<p class=\"from\">" << (run.recorded ? "Recording: " : "Scenario: ")
      << markupEscaped(run.scenario.source) << "<br/>\nPlug-in: " << markupEscaped(run.pluginPath)
      << "</p>\n";

  // The map as the SVG file has it, but for its XML declaration, which has no place in a page.
  std::ostringstream map;
  writeSvgMap(run, analysis, map);
  std::string svg = map.str();
  if (svg.starts_with("<?xml")) svg.erase(0, svg.find('\n') + 1);
  out << "<h2>The map</h2>\n" << svg;

  std::ostringstream report;
  writeReport(run, analysis, report, false);
  out << "<h2>The report</h2>\n<pre>" << markupEscaped(report.str()) << "</pre>\n";

  out << "<h2>Fraywick.ini</h2>\n";
  if (run.recorded) {
    if (run.starts.empty() && !run.recordingCut.empty() && run.scenario.frames == 0) {
      out << "<p>The recording was cut short in the first frame, and what the script read when it "
             "started went with that frame.</p>\n";
    } else if (run.starts.empty()) {
      out << "<p>The script never started, so it read no Fraywick.ini.</p>\n";
    }
    for (const Run::Start& start : run.starts) {
      out << "<p>Read when the script started in frame " << start.frame << ": ";
      if (start.settingsNotKept) {
        out << "Fraywick.ini of " << bytes(*start.settingsNotKept)
            << ", too big to keep in the recording.</p>\n";
      } else {
        writeSettings(start.settingsFile, out);
      }
    }
  } else {
    out << "<p>The scenario's: ";
    writeSettings(run.scenario.settingsFile, out);
  }
  out << "</body>\n</html>\n";
}

}  // namespace fraywick::demo
