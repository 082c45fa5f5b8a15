// fraywick-sim as a user runs it: exit codes, the one-line message for a bad scenario, the help,
// and the scenarios shipped in tools/scenarios.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support/test_directory.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = fraywick::testing::freshTestDirectory(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  Result run(const std::string& arguments) {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const std::string command = std::string("'") + FRAYWICK_SIM_PROGRAM + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
  }

  fs::path write(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  static std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }

  // What the program itself said, without the notes a sanitizer runtime adds ("==123==...").
  static std::string ownMessages(const std::string& err) {
    std::string own;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with("==")) own += line + "\n";
    }
    return own;
  }

  fs::path dir_;
};

TEST_F(CommandLine, RunsTheBuiltInEveningAndReportsIt) {
  const Result r = run("");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ownMessages(r.err), "");
  EXPECT_TRUE(
      r.out.starts_with("Did a brawl start? Yes, at Valentine.\n  - Valentine: a brawl "
                        "started in frame 190, 3.024 s in: event 0x2CA3408A within 8 m"))
      << r.out;
  EXPECT_NE(r.out.find("An evening at the Valentine saloon"), std::string::npos);
  EXPECT_NE(r.out.find("within 8 m of Valentine (row 0)"), std::string::npos);
  EXPECT_NE(r.out.find("Cost in native calls per frame"), std::string::npos);
}

TEST_F(CommandLine, NamesTheFileAndLineOfABadScenarioInOneMessage) {
  const fs::path bad =
      write("bad.scn", "[scenario]\nframes = 5\n\n[ped]\nmodel = A\nsex = maybe\n");
  const Result r = run("'" + bad.string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "") << "no report for a scenario that was not run";
  EXPECT_EQ(r.err, "fraywick-sim: " + bad.string() + ":4: [ped] needs a line 'at = ...'\n");
}

TEST_F(CommandLine, RefusesAMissingScenarioFile) {
  const Result r = run("'" + (dir_ / "none.scn").string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("none.scn:0: cannot open the scenario file"), std::string::npos) << r.err;
}

TEST_F(CommandLine, RefusesUnknownOptionsAndMissingValues) {
  const struct {
    const char* arguments;
    const char* says;
  } cases[] = {
      {"--frobnicate", "unknown option --frobnicate"},
      {"--trace", "--trace needs a file name"},
      {"a.scn b.scn", "only one scenario at a time"},
      {"--explain", "--explain needs a file name"},
      {"--explain a.rec --replay a.rec", "two separate commands"},
      {"--replay a.rec --trace t", "explained or replayed alone"},
      {"--replay a.rec --html p.html", "--replay draws no map and writes no page"},
      {"--crash-after 5", "--crash-after needs --folder"},
      {"--folder d --crash-after 0", "--crash-after needs a number of frames from 1, found '0'"},
      {"--folder d --crash-after 401", "--crash-after 401, but the scenario runs 400 frames"},
      {"--crash-in-native 1", "--crash-in-native needs --folder"},
      {"--folder d --crash-in-native x",
       "--crash-in-native needs a number of native calls from 1, found 'x'"},
      {"--folder d --crash-after 5 --crash-in-native 5", "give one of them"},
  };
  for (const auto& c : cases) {
    const Result r = run(c.arguments);
    EXPECT_EQ(r.status, 2) << c.arguments;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << ": " << r.err;
  }
}

TEST_F(CommandLine, ExplainsItselfItsVersionAndTheScenarioFormat) {
  const Result r = run("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"--trace FILE", "--svg FILE", "--wine", "--plugin FILE", "--version",
                           "[ped]", "[Fraywick.ini]", "Exit status"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
  const Result version = run("--version");
  EXPECT_EQ(version.status, 0);
  // The version in words: a release's numbers, or a build in between with its commit.
  EXPECT_TRUE(std::regex_match(
      version.out, std::regex(R"(fraywick-sim \d+\.\d+\.\d+(-dev\+([0-9a-f]{12}|unknown))?\n)")))
      << version.out;
}

TEST_F(CommandLine, WritesTheTraceAndTheMapWhereAsked) {
  const fs::path trace = dir_ / "out" / ".." / "run.trace";
  fs::create_directories(dir_ / "out");
  const Result r =
      run("--trace '" + trace.string() + "' --svg '" + (dir_ / "map.svg").string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "run.trace"));
  EXPECT_TRUE(fs::exists(dir_ / "map.svg"));
  EXPECT_NE(r.out.find("Map: " + (dir_ / "map.svg").string()), std::string::npos) << r.out;
}

TEST_F(CommandLine, SaysSoWhenItCannotWriteTheTrace) {
  const Result r = run("--trace '" + (dir_ / "no" / "such" / "dir" / "t.trace").string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the trace"), std::string::npos) << r.err;
}

TEST_F(CommandLine, SaysSoWhenThePluginCannotBeLoaded) {
  const Result r = run("--plugin '" + (dir_ / "nothing.so").string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot load the plug-in"), std::string::npos) << r.err;
}

// A player's session, as a maintainer meets it: the diagnostic build records it, --explain tells
// what happened and --replay runs the shipped build against it.
TEST_F(CommandLine, RecordsExplainsAndReplaysASession) {
  // In a folder whose name the page must escape.
  fs::create_directories(dir_ / "a <b> & \"c\"");
  const fs::path recording = dir_ / "a <b> & \"c\"" / "Fraywick-recording.txt";
  Result r = run("--plugin '" FRAYWICK_DIAG_PLUGIN "' --record '" + recording.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Recording: " + recording.string()), std::string::npos) << r.out;

  r = run("--explain '" + recording.string() + "' --svg '" + (dir_ / "map.svg").string() +
          "' --html '" + (dir_ / "page.html").string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("Did a brawl start? Yes, at Valentine.\n")) << r.out;
  for (const char* line :
       {"Fraywick in a recorded session: ", "  start     frame 1: no Fraywick.ini",
        "frame 190, 3.024 s in: event 0x2CA3408A within 8 m of Valentine",
        "not asked  left out: female, and FemaleBrawlers is off"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  EXPECT_TRUE(fs::exists(dir_ / "map.svg"));
  EXPECT_NE(r.out.find("\nPage: " + (dir_ / "page.html").string() + "\n"), std::string::npos);
  const std::string page = slurp(dir_ / "page.html");
  EXPECT_NE(page.find("<h1 id=\"answer\">Did a brawl start? Yes, at Valentine.</h1>"),
            std::string::npos);
  EXPECT_NE(page.find("Recording: " + (dir_ / "a &lt;b&gt; &amp; &quot;c&quot;").string() +
                      "/Fraywick-recording.txt<br/>"),
            std::string::npos);

  r = run("--replay '" + recording.string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "identical: 5135 calls over 400 frames\n");

  // The same session with another first group drawn at the brawl of frame 190: the plug-in
  // then hands out another group than recorded.
  std::string text = slurp(recording);
  const std::string draw = "randomInRange 0x0000000000001000 0x000000000000FFFF -> ";
  const std::size_t at = text.find(draw);
  ASSERT_NE(at, std::string::npos);
  text.replace(at + draw.size(), 18, "0x0000000000001001");
  const fs::path edited = write("edited.txt", text);
  r = run("--replay '" + edited.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.starts_with("differs at frame 190, call ")) << r.out;

  // Cut short in the middle of a line, as a crash leaves it: both use the frames before the cut
  // and say where it is. Damaged anywhere else, it gets one message.
  const std::string original = slurp(recording);
  const std::string half = original.substr(0, original.size() / 2);
  const fs::path cut = write("cut.txt", half);
  r = run("--explain '" + cut.string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n  - The recording was cut short after frame "), std::string::npos)
      << "in the answer";
  EXPECT_NE(r.out.find("\n  ends      cut short after frame "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(": the game ended without unloading the plug-in (a crash, or a forced "
                       "quit); the "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" cut in the middle, are left out\n"), std::string::npos) << r.out;
  r = run("--replay '" + cut.string() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("identical up to the cut: ")) << r.out;
  EXPECT_NE(r.out.find("\nThe recording was cut short after frame "), std::string::npos) << r.out;

  std::string damaged = half;
  const std::size_t line = damaged.find("\n1 scriptWait ") + 1;
  damaged.replace(line, 1, "x");
  const fs::path bad = write("damaged.txt", damaged);
  for (const char* command : {"--explain", "--replay"}) {
    r = run(std::string(command) + " '" + bad.string() + "'");
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_EQ(r.out, "") << command;
    const std::string own = ownMessages(r.err);
    EXPECT_TRUE(own.starts_with("fraywick-sim: " + bad.string() + ":")) << own;
    EXPECT_NE(own.find(": expected load, unload or a frame number as a decimal number, found "
                       "'x'\n"),
              std::string::npos)
        << own;
  }
}

// A crash in the middle of a session: the hook ends the process after 200 frames, as a crash or
// a forced quit ends the game, and the plug-in is never unloaded. Every frame it finished is in
// the recording left behind, which explains and replays up to the cut, both naming it; the next
// load in the same folder keeps it beside its own. A fault in the first native call of a load
// leaves that load's recording too, and keeps the earlier ones.
TEST_F(CommandLine, ACrashLeavesARecordingThatExplainsReplaysAndOutlivesTheNextLoad) {
  const fs::path game = dir_ / "game";
  const std::string load = "--plugin '" FRAYWICK_DIAG_PLUGIN "' --folder '" + game.string() + "'";
  Result r = run(load + " --crash-after 200");
  ASSERT_EQ(r.status, 3) << r.err;
  EXPECT_TRUE(r.out.starts_with("Ending the process after frame 200, as a crash does")) << r.out;
  const std::string left = slurp(game / "Fraywick-recording.txt");
  const std::string lastFrameEnds = "\n200 scriptWait 0x0000000000000000\n";
  ASSERT_TRUE(left.ends_with(lastFrameEnds))
      << left.substr(left.size() - std::min<std::size_t>(left.size(), 200));

  const std::string recording = "'" + (game / "Fraywick-recording.txt").string() + "'";
  r = run("--explain " + recording);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* line :
       {"\n  frames    200; ",
        "\n  ends      cut short after frame 200: the game ended without unloading the plug-in "
        "(a crash, or a forced quit)\n",
        "frame 190, 3.024 s in: event 0x2CA3408A within 8 m of Valentine"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  r = run("--replay " + recording);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("identical up to the cut: ")) << r.out;
  EXPECT_NE(r.out.find(" calls over 200 frames\nThe recording was cut short after frame 200: "),
            std::string::npos)
      << r.out;

  r = run(load);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(slurp(game / "Fraywick-recording-1.txt") == left) << "the crashed session is lost";
  const std::string finished = slurp(game / "Fraywick-recording.txt");
  EXPECT_NE(finished.find("\nend "), std::string::npos);

  r = run(load + " --crash-in-native 1");
  ASSERT_EQ(r.status, 3) << r.err;
  EXPECT_TRUE(r.out.starts_with("Ending the process inside native call 1, as a crash does"))
      << r.out;
  EXPECT_TRUE(slurp(game / "Fraywick-recording-1.txt") == finished) << "the last session is lost";
  EXPECT_TRUE(slurp(game / "Fraywick-recording-2.txt") == left) << "the crashed session is lost";
  EXPECT_TRUE(slurp(game / "Fraywick-recording.txt").ends_with("\n1 start ini none\n"));
  const std::string inFrame1 =
      "cut short in frame 1, before it ended: the game ended without unloading the plug-in (a "
      "crash, or a forced quit)";
  r = run("--explain " + recording);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n  ends      " + inFrame1), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  start     left out with the first frame"), std::string::npos) << r.out;
  r = run("--replay " + recording);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "identical up to the cut: 2 calls over 0 frames\nThe recording was " + inFrame1 +
                       "; the line of that frame is left out.\n");

  r = run(load + " --crash-in-native 100000");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--crash-in-native 100000, but the plug-in made only 4724 native calls\n"),
            std::string::npos)
      << r.err;

  // The folder is the player's: a settings file the scenario does not have is neither read nor
  // removed.
  write("game/Fraywick.ini", "[Fraywick]\nFemaleBrawlers=1\n");
  r = run(load);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Fraywick.ini is there, but the scenario has no Fraywick.ini"),
            std::string::npos)
      << r.err;
}

TEST_F(CommandLine, RunsEveryShippedScenario) {
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(FRAYWICK_SCENARIO_DIR)) {
    if (entry.path().extension() != ".scn") continue;
    ++seen;
    const Result r = run("'" + entry.path().string() + "'");
    EXPECT_EQ(r.status, 0) << entry.path() << ": " << r.err;
    EXPECT_NE(r.out.find("Trigger events detected\n  frame"), std::string::npos)
        << entry.path() << " should show a brawl:\n"
        << r.out;
  }
  EXPECT_GE(seen, 2);
}

}  // namespace
