// The settings loader: which values of FemaleBrawlers set the flag, which leave it alone, and
// that no settings file, however hostile, keeps the script loop from running.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ios>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "support/director_support.h"
#include "support/named_rows.h"
#include "support/plugin_test.h"
#include "support/raised_exceptions.h"
#include "support/test_directory.h"

namespace fraywick {
namespace {

using namespace std::string_literals;

using fraywick::PrintTo;

static_assert(noexcept(loadSettings()), "the script loop calls it with nothing to catch");

constexpr char kFileName[] = "Fraywick.ini";

std::string withValue(const std::string& value) {
  return "[Fraywick]\nFemaleBrawlers=" + value + "\n";
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

enum class Source { File, NoFile, Directory };

// What the loader finds in `dir`: the file with these bytes, nothing, or a directory of its name.
void placeSettingsFile(const std::filesystem::path& dir, Source source, const std::string& bytes) {
  switch (source) {
    case Source::File:
      writeFile(dir / kFileName, bytes);
      break;
    case Source::NoFile:
      break;
    case Source::Directory:
      std::filesystem::create_directory(dir / kFileName);
      break;
  }
}

// Runs each test in a fresh directory of its own, the one the loader looks in.
class SettingsLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir_ = std::filesystem::current_path();
    dir_ = fraywick::testing::freshTestDirectory();
    std::filesystem::current_path(dir_);
    settingsDocument.clear();
  }
  void TearDown() override {
    std::filesystem::current_path(previousDir_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::filesystem::path dir_;

 private:
  std::filesystem::path previousDir_;
};

// ----- values -----

enum class Outcome { SetsTrue, SetsFalse, KeepsValue };

struct ValueCase {
  const char* name;
  std::string bytes;
  Outcome outcome;
  Source source = Source::File;
};

const ValueCase kValueCases[] = {
    {"One", withValue("1"), Outcome::SetsTrue},
    {"Zero", withValue("0"), Outcome::SetsFalse},
    {"DoubleZero", withValue("00"), Outcome::SetsFalse},
    {"MinusZero", withValue("-0"), Outcome::SetsFalse},
    {"PlusZero", withValue("+0"), Outcome::SetsFalse},
    {"MinusOne", withValue("-1"), Outcome::SetsTrue},
    {"Seven", withValue("7"), Outcome::SetsTrue},
    {"PlusSeven", withValue("+7"), Outcome::SetsTrue},
    {"TrailingTextIsIgnored", withValue("2 trailing"), Outcome::SetsTrue},
    {"ZeroTrailingTextIsStillZero", withValue("0 ; off"), Outcome::SetsFalse},
    {"HexPrefixReadsAsZero", withValue("0x1"), Outcome::SetsFalse},
    {"FractionStopsAtThePointOneFive", withValue("1.5"), Outcome::SetsTrue},
    {"FractionStopsAtThePointZeroNine", withValue("0.9"), Outcome::SetsFalse},
    {"LowestIntIsTrue", withValue("-2147483648"), Outcome::SetsTrue},
    {"HighestIntIsTrue", withValue("2147483647"), Outcome::SetsTrue},
    {"AboveIntIsOutOfRange", withValue("2147483648"), Outcome::KeepsValue},
    {"BelowIntIsOutOfRange", withValue("-2147483649"), Outcome::KeepsValue},
    {"FarOutOfRange", withValue("99999999999999999999999"), Outcome::KeepsValue},
    {"TwoToThe32IsOutOfRangeNotZero", withValue("4294967296"), Outcome::KeepsValue},
    {"LeadingZerosDoNotLeaveTheRange", withValue("-000000000002147483648"), Outcome::SetsTrue},
    {"WordIsInvalid", withValue("true"), Outcome::KeepsValue},
    {"EmptyValueIsInvalid", withValue(""), Outcome::KeepsValue},
    {"LoneMinusIsInvalid", withValue("-"), Outcome::KeepsValue},
    {"LonePlusIsInvalid", withValue("+"), Outcome::KeepsValue},
    {"SignThenBlankIsInvalid", withValue("- 1"), Outcome::KeepsValue},
    {"TwoSignsAreInvalid", withValue("+-1"), Outcome::KeepsValue},
    {"NonBreakingSpaceIsNoWhiteSpace", withValue("\xA0"s + "1"), Outcome::KeepsValue},
    {"LowerCaseSectionIsNotFound", "[fraywick]\nFemaleBrawlers=1\n", Outcome::KeepsValue},
    {"LowerCaseKeyIsNotFound", "[Fraywick]\nfemalebrawlers=1\n", Outcome::KeepsValue},
    {"KeyOutsideAnySectionIsNotFound", "FemaleBrawlers=1\n[Fraywick]\n", Outcome::KeepsValue},
    {"KeyInAnotherSectionIsNotFound", "[Fraywick]\n[Other]\nFemaleBrawlers=1\n",
     Outcome::KeepsValue},
    {"ByteOrderMarkHidesTheHeader", "\xEF\xBB\xBF" + withValue("1"), Outcome::KeepsValue},
    {"WhiteSpaceAroundNamesAndValueDoesNotMatter",
     "  [ Fraywick ]  \r\n\t FemaleBrawlers \t=\t 7 \t\r\n", Outcome::SetsTrue},
    {"LastValueWins", "[Fraywick]\nFemaleBrawlers=1\n[Other]\n[Fraywick]\nFemaleBrawlers=0\n",
     Outcome::SetsFalse},
    {"NoFile", "", Outcome::KeepsValue, Source::NoFile},
    {"DirectoryNamedLikeTheFile", "", Outcome::KeepsValue, Source::Directory},
};

class SettingsValue : public SettingsLoaderTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(SettingsValue, SetsOrKeepsTheFlag) {
  const ValueCase& c = GetParam();
  placeSettingsFile(dir_, c.source, c.bytes);
  for (const bool before : {false, true}) {
    SCOPED_TRACE(before ? "flag true before" : "flag false before");
    settings.femaleBrawlers = before;
    loadSettings();
    const bool expected =
        c.outcome == Outcome::KeepsValue ? before : c.outcome == Outcome::SetsTrue;
    EXPECT_EQ(settings.femaleBrawlers, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsValue, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- the document and the file over several loads -----

TEST_F(SettingsLoaderTest, DocumentKeepsTheWholeFile) {
  writeFile(kFileName, "[Fraywick]\nFemaleBrawlers=1\nOther=x\n[More]\nk=v\n");
  loadSettings();
  EXPECT_EQ(settingsDocument.size(), 2u);
  EXPECT_EQ(settingsDocument.get("Fraywick").get("Other"), "x");
  EXPECT_EQ(settingsDocument.get("More").get("k"), "v");
}

TEST_F(SettingsLoaderTest, MissingFileLeavesFlagAndDocumentAsTheyWere) {
  writeFile(kFileName, withValue("5"));
  settings.femaleBrawlers = false;
  loadSettings();
  ASSERT_TRUE(settings.femaleBrawlers);
  std::filesystem::remove(kFileName);
  loadSettings();
  EXPECT_TRUE(settings.femaleBrawlers);
  EXPECT_EQ(settingsDocument.get("Fraywick").get("FemaleBrawlers"), "5");
}

TEST_F(SettingsLoaderTest, NextLoadReadsTheFileAfresh) {
  writeFile(kFileName, withValue("1") + "[Gone]\n");
  settings.femaleBrawlers = false;
  loadSettings();
  ASSERT_TRUE(settings.femaleBrawlers);
  writeFile(kFileName, withValue("0"));
  loadSettings();
  EXPECT_FALSE(settings.femaleBrawlers);
  EXPECT_EQ(settingsDocument.size(), 1u) << "the earlier read's sections are gone";
}

TEST_F(SettingsLoaderTest, FailedConversionStillKeepsTheDocument) {
  writeFile(kFileName, withValue("yes") + "[More]\nk=v\n");
  settings.femaleBrawlers = true;
  loadSettings();
  EXPECT_TRUE(settings.femaleBrawlers);
  EXPECT_EQ(settingsDocument.get("More").get("k"), "v");
}

#if !defined(_WIN32)
// Here a directory opens as a stream, so it passes the probe and reaches the reader, which must
// refuse it: the document is emptied and nothing is allocated for the directory's "length".
// On Windows the probe already fails and the document is not touched.
TEST_F(SettingsLoaderTest, DirectoryPassesTheProbeButEmptiesTheDocument) {
  writeFile(kFileName, withValue("1"));
  settings.femaleBrawlers = false;
  loadSettings();
  ASSERT_EQ(settingsDocument.size(), 1u);
  std::filesystem::remove(kFileName);
  std::filesystem::create_directory(kFileName);
  ASSERT_TRUE(std::ifstream(kFileName).good()) << "this system no longer opens directories";
  loadSettings();
  EXPECT_EQ(settingsDocument.size(), 0u);
  EXPECT_TRUE(settings.femaleBrawlers);
}
#endif

}  // namespace

// ----- the plug-in with hostile files -----

namespace testing {
namespace {

using fraywick::PrintTo;

struct HostileCase {
  const char* name;
  std::string bytes;
  Source source = Source::File;
};

std::string binaryGarbage() {
  std::mt19937 random(20240611);
  std::string bytes(64 * 1024, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

const HostileCase kHostileCases[] = {
    {"WordValue", withValue("true")},
    {"OutOfRangeValue", withValue("2147483648")},
    {"EmptyValue", withValue("")},
    {"NoSection", "FemaleBrawlers=1\n"},
    {"Directory", "", Source::Directory},
    {"BinaryGarbage", binaryGarbage()},
    {"GarbageAsValue", withValue("\xFF\x01\x80" + binaryGarbage())},
    {"OnlyLineFeeds", std::string(100000, '\n')},
};

// The plug-in meets every file of the value table as well.
std::vector<HostileCase> valueTableFiles() {
  std::vector<HostileCase> files;
  for (const ValueCase& c : kValueCases) files.push_back({c.name, c.bytes, c.source});
  return files;
}

class HostileSettingsFile : public PluginTest, public ::testing::WithParamInterface<HostileCase> {};

// On Windows every C++ throw is raised as an exception of the whole process, one that the game's
// crash reporters and debuggers see: the plug-in raises none while it reads its settings, runs and
// is unloaded, whatever the file holds.
TEST_P(HostileSettingsFile, EveryTickEndsWithAZeroWaitAndNoExceptionIsRaised) {
  placeSettingsFile(workDir_, GetParam().source, GetParam().bytes);
#if defined(_WIN32)
  const RaisedExceptions raised;
#endif
  load();
  for (std::size_t tick = 1; tick <= 5; ++tick) {
    runTicks(1);
    ASSERT_FALSE(world().calls.empty());
    const sim::Call& last = world().calls.back();
    EXPECT_EQ(last.kind, sim::CallKind::ScriptWait) << "tick " << tick;
    EXPECT_EQ(last.args, (std::vector<std::uint64_t>{0})) << "tick " << tick;
    EXPECT_EQ(world().countKind(sim::CallKind::ScriptWait), tick);
  }
  unload();
#if defined(_WIN32)
  EXPECT_EQ(raised.count(), 0) << "the first one: 0x" << std::hex << raised.firstCode();
#endif
}

INSTANTIATE_TEST_SUITE_P(Table, HostileSettingsFile, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(ValueTable, HostileSettingsFile, ::testing::ValuesIn(valueTableFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- the setting reaching the plug-in's recruitment -----

struct RecruitCase {
  const char* name;
  const char* file;       // nullptr: no settings file
  const char* rewriteTo;  // nullptr: the file stays; else what it says once the script runs
  bool femaleRecruited;
};

// The script reads the file once, when it starts: a file changed while it runs changes nothing
// until the next start.
const RecruitCase kRecruitCases[] = {
    {"NoFileKeepsWomenOut", nullptr, nullptr, false},
    {"OneLetsWomenIn", "[Fraywick]\nFemaleBrawlers=1\n", nullptr, true},
    {"ZeroKeepsWomenOut", "[Fraywick]\nFemaleBrawlers=0\n", nullptr, false},
    {"WordKeepsWomenOut", "[Fraywick]\nFemaleBrawlers=true\n", nullptr, false},
    {"OneWrittenWhileRunningWaits", "[Fraywick]\nFemaleBrawlers=0\n",
     "[Fraywick]\nFemaleBrawlers=1\n", false},
    {"ZeroWrittenWhileRunningWaits", "[Fraywick]\nFemaleBrawlers=1\n",
     "[Fraywick]\nFemaleBrawlers=0\n", true},
    {"FileAppearingWhileRunningWaits", nullptr, "[Fraywick]\nFemaleBrawlers=1\n", false},
};

class SettingReachesRecruitment : public PluginTest,
                                  public ::testing::WithParamInterface<RecruitCase> {};

TEST_P(SettingReachesRecruitment, FemalePedJoinsOnlyWhenTheFileSaidSoAtTheStart) {
  if (GetParam().file != nullptr) writeSettings(GetParam().file);
  addPlayer(world());
  const sim::Vec3 valentine = triggerPoint(0);
  const sim::Vec3 atTheBar = {valentine.x + 2, valentine.y, valentine.z};
  addPed(world(), 2, atTheBar);
  addPed(world(), 3, atTheBar);
  addPed(world(), 4, atTheBar, {.male = false});

  load();
  runTicks(1);  // the script starts and makes its first scan, with no event yet
  if (GetParam().rewriteTo != nullptr) writeSettings(GetParam().rewriteTo);
  addEvent(world(), kTriggerEvents[0], valentine);
  world().clockMs += 1000;
  runTicks(1);
  ASSERT_TRUE(world().findPed(2)->effects.weaponsRemoved) << "the brawl did not start";
  EXPECT_EQ(world().findPed(4)->effects.weaponsRemoved, GetParam().femaleRecruited);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingReachesRecruitment, ::testing::ValuesIn(kRecruitCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace testing
}  // namespace fraywick
