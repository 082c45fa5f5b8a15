#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

#include "demo/analysis.h"
#include "demo/page.h"
#include "demo/recording.h"
#include "demo/report.h"
#include "explain/desktop.h"

namespace fraywick::explain {
namespace {

namespace fs = std::filesystem;
using namespace fraywick::demo;

constexpr int kCannotWrite = 1;
constexpr int kNoRecording = 2;

constexpr char kHowTo[] =
    "Fraywick-explain reads a recording that Fraywick-diag.asi made, and writes a page that "
    "answers: did a brawl start, where and when; and if none did, why not.\n"
    "\n"
    "To use it, drag the file Fraywick-recording.txt from your game folder (or an older "
    "recording, such as Fraywick-recording-1.txt) onto Fraywick-explain.exe. The page "
    "Fraywick-recording.html appears beside the recording and opens in your browser.\n";

std::string utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// The page beside the recording, named after it: Fraywick-recording.txt gives
// Fraywick-recording.html.
fs::path pageFor(const fs::path& recording) {
  fs::path page = recording;
  std::string extension = utf8(page.extension());
  for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (extension == ".txt") {
    page.replace_extension(".html");
  } else {
    page += ".html";
  }
  return page;
}

int refuse(const std::string& what) {
  say(what + "\n\n" + kHowTo);
  waitForKey();
  return kNoRecording;
}

int explainFile(const fs::path& file) {
  const std::string name = utf8(file);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) {
    return refuse("Fraywick-explain cannot read the file " + name + ".");
  }
  Recording recording;
  ScenarioError error;
  if (!parseRecording(text.str(), name, recording, error)) {
    return refuse("This file is not a recording of Fraywick-diag.asi, or it is damaged:\n  " +
                  error.describe());
  }
  const Run session = runOfRecording(recording);
  const Analysis analysis = analyse(session);

  const fs::path page = pageFor(file);
  std::ostringstream html;
  writeHtmlPage(session, analysis, html);
  std::ofstream out(page, std::ios::binary | std::ios::trunc);
  out << html.str();
  out.close();
  if (!out) {
    say("Fraywick-explain could not write the page " + utf8(page) +
        ".\n\nCopy the recording into a folder of your own, such as Documents, and drop the "
        "copy on Fraywick-explain.exe.\n");
    waitForKey();
    return kCannotWrite;
  }

  const Answer answer = answerOf(session, analysis);
  say(std::string(kQuestion) + " " + answer.headline +
      "\n\nThe page with the whole answer, the map and the report:\n  " + utf8(page) + "\n");
  // Tests read the page themselves; a browser opening on the test machine helps nobody.
  if (std::getenv("FRAYWICK_EXPLAIN_NO_BROWSER") != nullptr) return 0;
  if (!openInBrowser(page)) {
    say("\nOpen it in your web browser: double-click it.\n");
    waitForKey();
  }
  return 0;
}

}  // namespace

int explainDropped(const std::vector<fs::path>& files) {
  if (files.empty()) {
    say(kHowTo);
    waitForKey();
    return kNoRecording;
  }
  if (files.size() > 1) return refuse("Drop one recording at a time.");
  try {
    return explainFile(files.front());
  } catch (const std::exception& failure) {
    say(std::string("Fraywick-explain stopped: ") + failure.what() + "\n");
    waitForKey();
    return kCannotWrite;
  }
}

}  // namespace fraywick::explain
