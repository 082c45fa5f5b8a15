// The saloon map: well-formed SVG that renders, with one marker per ped, one arrow per fight and
// the bartender's flight; and it and the report stay whole whatever the names and numbers they
// are given.
#include "demo/svg_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "demo/analysis.h"
#include "demo/page.h"
#include "demo/recording.h"
#include "demo/report.h"
#include "demo/run.h"
#include "demo/scenario.h"
#include "sim/host.h"
#include "support/test_directory.h"

namespace fraywick::demo {
namespace {

namespace fs = std::filesystem;

struct Map {
  Run run;
  Analysis analysis;
  std::string svg;
};

Map draw(const Scenario& scenario) {
  Map map;
  std::string error;
  EXPECT_TRUE(runScenario(scenario, sim::defaultPluginPath(), map.run, error)) << error;
  map.analysis = analyse(map.run);
  std::ostringstream out;
  writeSvgMap(map.run, map.analysis, out);
  map.svg = out.str();
  return map;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

bool haveProgram(const char* name) {
  const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

class SvgFile : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = fraywick::testing::freshTestDirectory(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path write(const std::string& svg) {
    const fs::path path = dir_ / "map.svg";
    std::ofstream(path, std::ios::binary) << svg;
    return path;
  }
  fs::path dir_;
};

// A scenario's session as the diagnostic build recorded it, its text changed by `edit` and read
// back under the name `file`.
Map recorded(const Scenario& scenario, const std::function<void(std::string&)>& edit,
             const std::string& file = "recording.txt") {
  Map map;
  std::string error;
  EXPECT_TRUE(runScenario(scenario, FRAYWICK_DIAG_PLUGIN, map.run, error)) << error;
  std::string text = map.run.recording.value_or("");
  edit(text);
  Recording recording;
  ScenarioError bad;
  EXPECT_TRUE(parseRecording(text, file, recording, bad)) << bad.describe();
  map.run = runOfRecording(recording);
  map.analysis = analyse(map.run);
  std::ostringstream out;
  writeSvgMap(map.run, map.analysis, out);
  map.svg = out.str();
  return map;
}

// The built-in evening's recording, with the first position the game answered replaced by one
// that is no number (a NaN for x).
Map recordedWithAPositionThatIsNoNumber() {
  return recorded(defaultScenario(), [](std::string& text) {
    const std::size_t at = text.find(" entityPosition ");
    const std::size_t answer = text.find(" -> ", at);
    EXPECT_NE(answer, std::string::npos) << "no position in the recording";
    if (answer != std::string::npos) text.replace(answer + 4, 18, "0x000000007FC00000");
  });
}

// The built-in evening with the guard holding off at first, recorded, its file named and its
// texts (the guard's script name, the build, Fraywick.ini) written with markup in them.
Map recordedWithMarkupInItsTexts() {
  Scenario scenario = defaultScenario();
  scenario.guards.push_back({0, 500, 1});
  scenario.settingsFile = "[Fraywick]\n; <i>Tom & \"Jerry\"</i>\n";
  const auto edit = [](std::string& text) {
    const std::string guard = "queryByName \"mudtown2\"";
    for (std::size_t at = text.find(guard); at != std::string::npos; at = text.find(guard, at)) {
      text.replace(at, guard.size(), "queryByName \"<b>mud&town\\\"2</b>\"");
    }
    const std::size_t build = text.find(" build ");
    text.replace(build, text.find('\n', build) - build, " build <script>alert(\"&\")</script>");
  };
  return recorded(scenario, edit, "a <b> & \"c\"/Fraywick-recording.txt");
}

// Hostile input for the demo's outputs: names of any bytes and length, and a recorded position
// that is no number.
struct HostileInput {
  const char* what;
  std::function<Map()> draw;
};

const std::vector<HostileInput>& hostileInputs() {
  static const std::vector<HostileInput> inputs = {
      {"the built-in evening", [] { return draw(defaultScenario()); }},
      {"markup in the title and a name",
       [] {
         Scenario scenario = defaultScenario();
         scenario.title = "Tom & Jerry's <saloon>";
         scenario.peds[2].ped.label = "\"Doc\" <Holliday> & co";
         return draw(scenario);
       }},
      {"bytes that are not UTF-8",
       [] {
         Scenario scenario = defaultScenario();
         scenario.title = "Caf\xE9 \xFF\xFE";
         scenario.peds[2].ped.label = "Jos\xC3 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82";
         return draw(scenario);
       }},
      {"characters XML forbids",
       [] {
         Scenario scenario = defaultScenario();
         scenario.peds[2].ped.label =
             std::string("bell\x07, nul") + '\0' + ", escape\x1B[31m, not a character \xEF\xBF\xBE";
         return draw(scenario);
       }},
      {"a name of 300 bytes",
       [] {
         Scenario scenario = defaultScenario();
         scenario.peds[2].ped.label = std::string(300, 'x');
         return draw(scenario);
       }},
      {"a recorded position that is no number", recordedWithAPositionThatIsNoNumber},
      {"markup in a recording's texts", recordedWithMarkupInItsTexts},
  };
  return inputs;
}

// The map, and the page that holds it: well-formed XML both, so that no name from a scenario or
// a recording can open an element; the page opens with the answer and holds the map.
TEST_F(SvgFile, IsWellFormedXmlWhateverTheInput) {
  if (!haveProgram("xmllint")) GTEST_SKIP() << "xmllint (Debian: libxml2-utils) is not installed";
  for (const HostileInput& input : hostileInputs()) {
    SCOPED_TRACE(input.what);
    const Map map = input.draw();
    const fs::path path = write(map.svg);
    const std::string command = "xmllint --noout '" + path.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ostringstream page;
    writeHtmlPage(map.run, map.analysis, page);
    const fs::path html = dir_ / "page.html";
    std::ofstream(html, std::ios::binary) << page.str();
    const std::string check = "xmllint --noout '" + html.string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << check;
    EXPECT_NE(page.str().find("<body>\n<h1 id=\"answer\">Did a brawl start? "), std::string::npos);
    EXPECT_EQ(count(page.str(), "<svg "), 1u);
    for (const char* element : {"<b>", "<i>", "<script"}) {
      EXPECT_EQ(page.str().find(element), std::string::npos) << element;
    }
    // Every ped whose place is known has its marker; one that is no number is left off, and
    // said so; no coordinate is anything but a number.
    std::size_t placed = 0, notFinite = 0;
    for (const PedFate& fate : map.analysis.fates) {
      placed += fate.positionKnown;
      notFinite += fate.positionNotFinite;
    }
    EXPECT_EQ(count(map.svg, "<g><title>"), placed);
    EXPECT_EQ(count(map.svg, "nan"), 0u);
    EXPECT_EQ(count(map.svg, "inf\""), 0u);
    EXPECT_EQ(map.svg.find("not shown: position not a finite number") != std::string::npos,
              notFinite > 0);
  }
}

// Each ped has a row of its own in the report, however long its name and whatever its bytes:
// rows never run together, and no control byte reaches the terminal.
TEST(Report, GivesEachPedALineOfItsOwnWhateverTheInput) {
  for (const HostileInput& input : hostileInputs()) {
    SCOPED_TRACE(input.what);
    const Map map = input.draw();
    std::ostringstream out;
    writeReport(map.run, map.analysis, out);
    const std::string report = out.str();
    for (const char c : report) {
      ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << "a control byte";
    }
    for (const PedFate& fate : map.analysis.fates) {
      const ScenarioPed& ped = map.run.scenario.peds[fate.ped];
      char handle[16];
      std::snprintf(handle, sizeof handle, "\n  %-7d ", ped.ped.handle);
      const std::size_t row = report.find(handle);
      ASSERT_NE(row, std::string::npos) << "no row of its own for " << ped.ped.handle;
      const std::string line = report.substr(row + 1, report.find('\n', row + 1) - row - 1);
      const bool plain = std::all_of(ped.ped.label.begin(), ped.ped.label.end(),
                                     [](char c) { return c >= 0x20 && c < 0x7F; });
      if (plain) {
        EXPECT_NE(line.find(ped.ped.label), std::string::npos) << line;
      }
      EXPECT_EQ(line.find("nan"), std::string::npos) << line;
      if (fate.positionNotFinite) {
        EXPECT_NE(line.find(" not finite "), std::string::npos) << line;
      }
    }
  }
}

TEST_F(SvgFile, RendersToAPictureOfItsOwnSize) {
  if (!haveProgram("rsvg-convert")) {
    GTEST_SKIP() << "rsvg-convert (Debian: librsvg2-bin) is not installed";
  }
  const fs::path path = write(draw(defaultScenario()).svg);
  const fs::path png = dir_ / "map.png";
  const std::string command = "rsvg-convert -o '" + png.string() + "' '" + path.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::ifstream file(png, std::ios::binary);
  unsigned char header[24] = {};
  file.read(reinterpret_cast<char*>(header), sizeof header);
  ASSERT_TRUE(file) << "no PNG came out";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 1, 3), "PNG");
  const auto be32 = [&](int at) {
    return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
  };
  const std::string svg = draw(defaultScenario()).svg;
  const std::string width = "width=\"" + std::to_string(be32(16)) + ".0\"";
  const std::string height = "height=\"" + std::to_string(be32(20)) + ".0\"";
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" " + width + " " + height),
            std::string::npos)
      << "rendered " << be32(16) << "x" << be32(20);
  EXPECT_GT(fs::file_size(png), 20'000u) << "a map, not an empty page";
}

TEST(SvgMap, DrawsOneMarkerPerPedAndOneArrowPerFight) {
  const Map map = draw(defaultScenario());
  // Each ped's marker carries a tooltip with its fate; the document has one title of its own.
  EXPECT_EQ(count(map.svg, "<g><title>"), map.run.scenario.peds.size());
  std::size_t fights = 0;
  for (const PedFate& fate : map.analysis.fates) fights += fate.fightTarget.has_value();
  EXPECT_EQ(count(map.svg, "marker-end=\"url(#fight)\""), fights + 1) << "plus the legend's";
  EXPECT_EQ(count(map.svg, "marker-end=\"url(#flee)\""), 1u + 1) << "plus the legend's";
  EXPECT_NE(map.svg.find("An evening at the Valentine saloon"), std::string::npos);
  EXPECT_NE(map.svg.find("Valentine (row 0): brawl from frame"), std::string::npos);
  EXPECT_NE(map.svg.find(">Legend<"), std::string::npos);
  EXPECT_NE(map.svg.find("20 m: who joins"), std::string::npos);
  EXPECT_NE(map.svg.find("8 m: trigger events"), std::string::npos);
}

TEST(SvgMap, EscapesNamesSoTheyCannotBreakTheMarkup) {
  Scenario scenario = defaultScenario();
  scenario.title = "Tom & Jerry's <saloon>";
  scenario.peds[2].ped.label = "\"Doc\" <Holliday> & co";
  const Map map = draw(scenario);
  EXPECT_EQ(map.svg.find("<saloon>"), std::string::npos);
  EXPECT_EQ(map.svg.find("<Holliday>"), std::string::npos);
  EXPECT_NE(map.svg.find("Tom &amp; Jerry&apos;s &lt;saloon&gt;"), std::string::npos);
  EXPECT_NE(map.svg.find("&quot;Doc&quot; &lt;Holliday&gt; &amp; co"), std::string::npos);
}

TEST(Page, EscapesTheTextsOfTheRecording) {
  const Map map = recordedWithMarkupInItsTexts();
  std::ostringstream out;
  writeHtmlPage(map.run, map.analysis, out);
  const std::string page = out.str();
  for (const char* text :
       {"<title>Fraywick: Fraywick-recording.txt</title>",
        "Recording: a &lt;b&gt; &amp; &quot;c&quot;/Fraywick-recording.txt<br/>",
        " (&lt;script&gt;alert(&quot;&amp;&quot;)&lt;/script&gt;)</p>",
        "<li>The game&apos;s script &quot;&lt;b&gt;mud&amp;town&quot;2&lt;/b&gt;&quot; was loaded",
        "Fraywick.ini of 34 bytes:</p>\n<pre>[Fraywick]\n; &lt;i&gt;Tom &amp; &quot;Jerry&quot;"
        "&lt;/i&gt;\n</pre>"}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
}

TEST(SvgMap, DrawsAPanelForEachSaloonInvolved) {
  Scenario scenario = defaultScenario();
  ScenarioPed visitor = scenario.peds[2];
  visitor.ped.handle = 500;
  visitor.ped.label = "Rhodes regular";
  visitor.ped.position = {1336.6f, -1374.0f, 81.9f};
  scenario.peds.push_back(visitor);
  const Map map = draw(scenario);
  EXPECT_NE(map.svg.find("Valentine (row 0)"), std::string::npos);
  EXPECT_NE(map.svg.find(">Rhodes (row 2)<"), std::string::npos) << "no brawl there";
}

}  // namespace
}  // namespace fraywick::demo
