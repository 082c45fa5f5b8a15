// The INI reader: what whole files become, what single lines mean, and how documents are looked
// up. Files are built from exact bytes and read back from disk through IniLoader.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "settings/ini.h"
#include "support/named_rows.h"
#include "support/test_directory.h"

namespace fraywick {
namespace {

using namespace std::string_literals;

using fraywick::PrintTo;

using FlatSection = std::vector<std::pair<std::string, std::string>>;
using FlatDocument = std::vector<std::pair<std::string, FlatSection>>;

// Sections and keys in document order, for comparisons that print well.
FlatDocument flatten(const IniDocument& document) {
  FlatDocument flat;
  for (const auto& [name, section] : document.items) flat.emplace_back(name, section.items);
  return flat;
}

// Every entry is indexed at its own position, and the index holds nothing else.
template <class V>
::testing::AssertionResult indexAgrees(const IniOrderedMap<V>& map) {
  if (map.index.size() != map.items.size()) {
    return ::testing::AssertionFailure()
           << map.index.size() << " index entries for " << map.items.size() << " items";
  }
  for (std::size_t at = 0; at < map.items.size(); ++at) {
    const auto found = map.index.find(map.items[at].first);
    if (found == map.index.end() || found->second != at) {
      return ::testing::AssertionFailure()
             << "'" << map.items[at].first << "' not indexed at " << at;
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult documentIndexAgrees(const IniDocument& document) {
  if (auto result = indexAgrees(document); !result) return result;
  for (const auto& [name, section] : document.items) {
    if (auto result = indexAgrees(section); !result)
      return result << " in section '" << name << "'";
  }
  return ::testing::AssertionSuccess();
}

// A directory of its own for each test, removed afterwards.
class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = fraywick::testing::freshTestDirectory(); }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Writes `bytes` exactly and returns the path as the loader takes it.
  std::string writeFile(const std::string& bytes, const std::string& name = "test.ini") {
    const std::filesystem::path path = dir_ / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  std::filesystem::path dir_;
};

// ----- whole files -----

struct FileCase {
  const char* name;
  std::string bytes;
  FlatDocument expected;
};

const FileCase kFileCases[] = {
    {"EmptyFileHasNoSections", "", {}},
    {"LoneByteOrderMarkIsAnUnrecognizedLine", "\xEF\xBB\xBF", {}},
    {"ByteOrderMarkHidesTheFirstHeader", "\xEF\xBB\xBF[Fraywick]\nFemaleBrawlers=1", {}},
    {"CrLfLineEndsReadLikeLf",
     "[Fraywick]\r\nFemaleBrawlers=1\r\n",
     {{"Fraywick", {{"FemaleBrawlers", "1"}}}}},
    {"CrOnlyLineEndsMakeOneLineClosedByTheLastBracket", "[a]\rk=1\r", {{"a", {}}}},
    {"WhiteSpaceAroundKeyAndValueIsTrimmed", "[a]\n  k  =  v  ", {{"a", {{"k", "v"}}}}},
    {"WhiteSpaceInsideHeaderIsTrimmed", "[ Fraywick ]", {{"Fraywick", {}}}},
    {"EmptyHeaderNamesTheEmptySection", "[]", {{"", {}}}},
    {"BlankHeaderNamesTheEmptySection", "[ ]", {{"", {}}}},
    {"LastBracketClosesTheHeader", "[a]b]", {{"a]b", {}}}},
    {"SemicolonAfterHeaderIsAComment", "[a] ; note", {{"a", {}}}},
    {"SemicolonInsideHeaderCutsIt", "[a;b]", {}},
    {"UnclosedHeaderIsIgnored", "[a]\n[b\nk=1", {{"a", {{"k", "1"}}}}},
    {"UnclosedHeaderWithEqualsIsAKey", "[a]\n[x=1", {{"a", {{"[x", "1"}}}}},
    {"SemicolonInValueIsKept", "[a]\nk=v ; note", {{"a", {{"k", "v ; note"}}}}},
    {"HashStartsAnOrdinaryKey", "[a]\n#k=1", {{"a", {{"#k", "1"}}}}},
    {"EscapedEqualsJoinsTheKey", "[a]\nx\\=y=z", {{"a", {{"x=y", "z"}}}}},
    {"EscapedEqualsStaysInTheValue", "[a]\nk=x\\=y", {{"a", {{"k", "x\\=y"}}}}},
    {"OnlyAnEscapedEqualsIsUnrecognized", "[a]\n\\=", {{"a", {}}}},
    {"EmptyKeyIsAllowed", "[a]\n=v", {{"a", {{"", "v"}}}}},
    {"EmptyValueIsAllowed", "[a]\nk=", {{"a", {{"k", ""}}}}},
    {"KeyBeforeTheFirstHeaderIsDropped", "k=1\n[a]\nj=2", {{"a", {{"j", "2"}}}}},
    {"KeysDifferingInCaseAreDistinct", "[a]\nKey=1\nkey=2", {{"a", {{"Key", "1"}, {"key", "2"}}}}},
    {"RepeatedKeyTakesTheLastValue", "[a]\nk=1\nk=2", {{"a", {{"k", "2"}}}}},
    {"ReopenedSectionKeepsItsPlace",
     "[s]\na=1\n[t]\n[s]\nb=2",
     {{"s", {{"a", "1"}, {"b", "2"}}}, {"t", {}}}},
    {"InnerWhiteSpaceOfTheValueIsKept", "[a]\nk = x\ty", {{"a", {{"k", "x\ty"}}}}},
    {"NulByteIsDropped", "[a]\na\0b=1"s, {{"a", {{"ab", "1"}}}}},
    // Beyond the basic table: places, line ends and bytes the rows above do not pin down.
    {"RepeatedKeyKeepsItsFirstPlace", "[a]\nk=1\nj=3\nk=2", {{"a", {{"k", "2"}, {"j", "3"}}}}},
    {"SectionNamesDifferingInCaseAreDistinct", "[a]\n[A]\nk=1", {{"a", {}}, {"A", {{"k", "1"}}}}},
    {"UnrecognizedLineDoesNotEndTheSection", "[a]\nnonsense\n[b\nk=1", {{"a", {{"k", "1"}}}}},
    {"CrAndNulInsideALineAreDropped", "[a]\nk\r=\0v\r\r\n"s, {{"a", {{"k", "v"}}}}},
    {"LastLineWithoutLineFeedCounts", "[a]\nk=1\nj=2", {{"a", {{"k", "1"}, {"j", "2"}}}}},
    {"CommentLineIsSkipped", "[a]\n; k=1\n  ;j=2\nm=3", {{"a", {{"m", "3"}}}}},
    {"HighBytesAreOrdinary",
     "[\xC3\xA9t\xE9]\n\xA0k\xA0=\xFF",
     {{"\xC3\xA9t\xE9", {{"\xA0k\xA0", "\xFF"}}}}},
    {"FormFeedAndVerticalTabAreTrimmed", "\f[\va\f]\v\n\vk\f=\fv\v", {{"a", {{"k", "v"}}}}},
    {"LongLineIsKeptWhole",
     "[a]\nk=" + std::string(5000, 'x'),
     {{"a", {{"k", std::string(5000, 'x')}}}}},
};

class IniFileContent : public IniFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(IniFileContent, ReadsIntoTheExpectedDocument) {
  const FileCase& c = GetParam();
  IniDocument document;
  document["stale"]["x"] = "1";  // whatever was there before the read is gone after it
  ASSERT_TRUE(IniLoader(writeFile(c.bytes)).read(document));
  EXPECT_EQ(flatten(document), c.expected);
  EXPECT_TRUE(documentIndexAgrees(document));
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileContent, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct LinesCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

const LinesCase kLinesCases[] = {
    {"NoBytesNoLines", "", {}},
    {"TextWithoutLineFeedIsOneLine", "a", {"a"}},
    {"FinalLineFeedAddsAnEmptyLine", "a\nb\n", {"a", "b", ""}},
    {"LoneLineFeedIsTwoEmptyLines", "\n", {"", ""}},
    {"CrLfEndsOneLine", "a\r\nb", {"a", "b"}},
    {"CrAloneEndsNoLine", "a\rb\r", {"ab"}},
    {"LoneCrIsOneEmptyLine", "\r", {""}},
    {"NulAnywhereIsDropped", "\0a\0\n\0"s, {"a", ""}},
    {"EmptyLinesInTheMiddleCount", "a\n\n\nb", {"a", "", "", "b"}},
};

class IniFileLines : public IniFileTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(IniFileLines, SplitAtLineFeedsOnly) {
  const LinesCase& c = GetParam();
  IniFileReader reader(writeFile(c.bytes));
  EXPECT_EQ(reader.readLines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileLines, ::testing::ValuesIn(kLinesCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, ManyKeysAreAllFoundInFileOrder) {
  std::string bytes = "[many]\n";
  constexpr int kKeys = 20000;
  for (int i = 0; i < kKeys; ++i) {
    bytes += "key" + std::to_string(i) + "=" + std::to_string(kKeys - i) + "\n";
  }
  IniDocument document;
  ASSERT_TRUE(IniLoader(writeFile(bytes)).read(document));
  const IniSection many = document.get("many");
  ASSERT_EQ(many.size(), static_cast<std::uint64_t>(kKeys));
  EXPECT_TRUE(indexAgrees(many));
  for (int i = 0; i < kKeys; i += 997) {
    EXPECT_EQ(many.items[i].first, "key" + std::to_string(i));
    EXPECT_EQ(many.get("key" + std::to_string(i)), std::to_string(kKeys - i));
  }
}

TEST_F(IniFileTest, ReadingTheSameFileTwiceGivesEqualDocuments) {
  const std::string path = writeFile("[s]\na=1\n[t]\nb=2\n[s]\nc=3\n");
  IniDocument first;
  IniDocument second;
  ASSERT_TRUE(IniLoader(path).read(first));
  ASSERT_TRUE(IniLoader(path).read(second));
  EXPECT_EQ(first, second);
  ASSERT_TRUE(IniLoader(path).read(first));  // a second read into a filled document
  EXPECT_EQ(first, second);
}

// ----- failed reads -----

struct FailedReadCase {
  const char* name;
  // Makes what the loader is pointed at, inside the test's directory; returns the name to use.
  std::string (*prepare)(const std::filesystem::path& dir);
};

const FailedReadCase kFailedReadCases[] = {
    {"EmptyName", [](const std::filesystem::path&) { return std::string(); }},
    {"MissingFile", [](const std::filesystem::path& dir) { return (dir / "absent.ini").string(); }},
    // Some systems open a directory as a stream; it must still count as not openable.
    {"Directory",
     [](const std::filesystem::path& dir) {
       std::filesystem::create_directory(dir / "folder.ini");
       return (dir / "folder.ini").string();
     }},
#if !defined(_WIN32)
    // A device opens and seeks fine here but is not a settings file; Windows has no /dev.
    {"Device", [](const std::filesystem::path&) { return std::string("/dev/null"); }},
#endif
};

class IniFailedRead : public IniFileTest, public ::testing::WithParamInterface<FailedReadCase> {};

TEST_P(IniFailedRead, ReturnsFalseAndLeavesTheDocumentEmpty) {
  IniDocument document;
  ASSERT_TRUE(IniLoader(writeFile("[Fraywick]\nFemaleBrawlers=1\n")).read(document));
  ASSERT_EQ(document.size(), 1u);

  const IniLoader loader(GetParam().prepare(dir_));
  EXPECT_FALSE(loader.read(document));
  EXPECT_EQ(document.size(), 0u);
  EXPECT_TRUE(document.index.empty());
  EXPECT_EQ(document.get("Fraywick").get("FemaleBrawlers"), "");
}

TEST_P(IniFailedRead, ReaderDoesNotTouchTheDocument) {
  const std::string name = GetParam().prepare(dir_);
  IniDocument document;
  document["kept"]["k"] = "v";
  IniFileReader reader(name);
  EXPECT_FALSE(reader.parseInto(document));
  EXPECT_EQ(flatten(document), (FlatDocument{{"kept", {{"k", "v"}}}}));
  EXPECT_TRUE(reader.readLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, IniFailedRead, ::testing::ValuesIn(kFailedReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- single lines -----

struct LineCase {
  const char* name;
  std::string line;
  IniLineKind kind;
  std::string first;
  std::string second;
};

const LineCase kLineCases[] = {
    {"NothingIsEmpty", "", IniLineKind::Empty, "", ""},
    {"AllSixWhiteSpacesAreEmpty", " \t\n\r\f\v", IniLineKind::Empty, "", ""},
    {"SemicolonFirstIsComment", ";k=v", IniLineKind::Comment, "", ""},
    {"SemicolonFirstAfterTrimIsComment", " \t;[a]", IniLineKind::Comment, "", ""},
    {"HashIsNoComment", "#note", IniLineKind::Unrecognized, "", ""},
    {"NulIsNoWhiteSpace", "\0"s, IniLineKind::Unrecognized, "", ""},
    {"HeaderNameIsTrimmed", "[ \ta b\t ]", IniLineKind::Section, "a b", ""},
    {"TextAfterTheLastBracketIsIgnored", "[a] tail", IniLineKind::Section, "a", ""},
    {"HeaderNameMayHoldBracketsAndEquals", "[[a=b]]", IniLineKind::Section, "[a=b]", ""},
    {"HeaderCutBeforeItsCloseFallsThroughToUnrecognized", "[a;b]=c", IniLineKind::Unrecognized, "",
     ""},
    {"CutUnclosedHeaderIsAKey", "[x=1;2", IniLineKind::KeyValue, "[x", "1"},
    {"SemicolonBelongsToTheKey", "a;b=c", IniLineKind::KeyValue, "a;b", "c"},
    {"FurtherEqualsBelongToTheValue", "k==v=", IniLineKind::KeyValue, "k", "=v="},
    {"EscapedEqualsAtKeyEnd", "a\\==b", IniLineKind::KeyValue, "a=", "b"},
    {"TwoEscapedEqualsInTheKey", "\\=\\==x", IniLineKind::KeyValue, "==", "x"},
    {"BackslashBeforeBackslashEqualsStillEscapes", "\\\\=v", IniLineKind::Unrecognized, "", ""},
    {"BackslashBeforeBlankIsNoEscape", "k\\ =v", IniLineKind::KeyValue, "k\\", "v"},
    {"EscapeInTheKeySurvivesTrimming", " key \\= = v ", IniLineKind::KeyValue, "key =", "v"},
    {"EscapeInTheValueIsKept", "k = \\=", IniLineKind::KeyValue, "k", "\\="},
    {"NonBreakingSpaceIsNoWhiteSpace", "\xA0k\xA0=\xA0v\xA0", IniLineKind::KeyValue, "\xA0k\xA0",
     "\xA0v\xA0"},
    {"NulStaysInsideALine", "k=v\0"s, IniLineKind::KeyValue, "k", "v\0"s},
};

class IniParseLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(IniParseLine, GivesKindNameAndValue) {
  const LineCase& c = GetParam();
  std::pair<std::string, std::string> result{"stale", "stale"};
  EXPECT_EQ(parseLine(c.line, result), c.kind);
  EXPECT_EQ(result.first, c.first);
  EXPECT_EQ(result.second, c.second);
}

INSTANTIATE_TEST_SUITE_P(Table, IniParseLine, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- text helpers -----

struct TrimCase {
  const char* name;
  std::string text;
  std::string trimmed;
};

const TrimCase kTrimCases[] = {
    {"EmptyStaysEmpty", "", ""},
    {"OnlyWhiteSpaceBecomesEmpty", " \t\n\r\f\v \v", ""},
    {"BothEndsGoInnerStays", "\t a \f b \r\n", "a \f b"},
    {"NulIsKept", "\0a\0"s, "\0a\0"s},
    {"NonBreakingSpaceIsKept",
     "\xA0"
     "a\xA0",
     "\xA0"
     "a\xA0"},
    {"NextLineByteIsKept",
     "\x85"
     "a",
     "\x85"
     "a"},
    {"SeparatorControlsAreKept", "\x1C\x1D\x1E\x1F", "\x1C\x1D\x1E\x1F"},
    {"WhiteSpaceBehindANulGoes", " \0 "s, "\0"s},
};

class IniTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(IniTrim, RemovesExactlyTheSixWhiteSpaceBytesAtBothEnds) {
  std::string text = GetParam().text;
  trim(text);
  EXPECT_EQ(text, GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(Table, IniTrim, ::testing::ValuesIn(kTrimCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string from;
  std::string to;
  std::string result;
};

const ReplaceCase kReplaceCases[] = {
    {"OccurrencesDoNotOverlap", "aaa", "aa", "b", "ba"},
    {"ReplacementIsNotSearchedAgain", "a", "a", "aa", "aa"},
    {"ReplacementJoiningTheRestIsNotRescanned", "aabb", "ab", "a", "aab"},
    {"EveryOccurrenceIsReplaced", "xAxAx", "x", "yy", "yyAyyAyy"},
    {"ReplacementMayBeEmpty", "a-b-c", "-", "", "abc"},
    {"EscapesBecomeBlanksOfTheSameLength", "k\\=x\\=", "\\=", "  ", "k  x  "},
    {"NoOccurrenceNoChange", "abc", "d", "e", "abc"},
    {"EmptyPatternMatchesNothing", "abc", "", "x", "abc"},
};

class IniReplaceAll : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(IniReplaceAll, ReplacesLeftToRight) {
  const ReplaceCase& c = GetParam();
  std::string text = c.text;
  replaceAll(text, c.from, c.to);
  EXPECT_EQ(text, c.result);
}

INSTANTIATE_TEST_SUITE_P(Table, IniReplaceAll, ::testing::ValuesIn(kReplaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- lookups -----

IniDocument settingsLikeDocument() {
  IniDocument document;
  document["Fraywick"]["FemaleBrawlers"] = "1";
  document["Other"]["k"] = "v";
  return document;
}

TEST(IniLookup, GetTrimsItsArgument) {
  const IniDocument document = settingsLikeDocument();
  const IniSection section = document.get(" Fraywick \t");
  EXPECT_EQ(section.get("\nFemaleBrawlers\v"), "1");
}

TEST(IniLookup, GetLeavesTheCallersStringAlone) {
  const IniDocument document = settingsLikeDocument();
  const std::string name = " Fraywick ";
  EXPECT_EQ(document.get(name).size(), 1u);
  EXPECT_EQ(name, " Fraywick ");
}

TEST(IniLookup, GetMatchesLetterCase) {
  const IniDocument document = settingsLikeDocument();
  EXPECT_EQ(document.get("fraywick").size(), 0u);
  EXPECT_EQ(document.get("Fraywick").get("femalebrawlers"), "");
}

TEST(IniLookup, MissedGetNeverInserts) {
  const IniDocument document = settingsLikeDocument();
  const IniSection section = document.get("Fraywick");
  EXPECT_EQ(document.get("Absent").size(), 0u);
  EXPECT_EQ(section.get("Absent"), "");
  EXPECT_EQ(document.size(), 2u);
  EXPECT_EQ(document.index.size(), 2u);
  EXPECT_EQ(section.size(), 1u);
  EXPECT_EQ(section.index.size(), 1u);
}

TEST(IniLookup, AbsentSectionIsEmptyAndAnswersEmptyValues) {
  const IniSection absent = settingsLikeDocument().get("Absent");
  EXPECT_EQ(absent.size(), 0u);
  EXPECT_TRUE(absent.index.empty());
  EXPECT_EQ(absent.get("FemaleBrawlers"), "");
  EXPECT_EQ(absent.get(""), "");
}

TEST(IniLookup, GetReturnsACopy) {
  const IniDocument document = settingsLikeDocument();
  IniSection copy = document.get("Fraywick");
  copy["FemaleBrawlers"] = "0";
  copy["Extra"] = "x";
  EXPECT_EQ(document.get("Fraywick").get("FemaleBrawlers"), "1");
  EXPECT_EQ(document.get("Fraywick").size(), 1u);
}

TEST(IniOrderedMapTest, SubscriptTrimsTheKeyAndFindsItAgain) {
  IniSection section;
  section["  k\t"] = "1";
  section["k"] = "2";
  ASSERT_EQ(section.size(), 1u);
  EXPECT_EQ(section.items[0], (std::pair<std::string, std::string>{"k", "2"}));
  EXPECT_TRUE(indexAgrees(section));
}

TEST(IniOrderedMapTest, CopyIsDeep) {
  IniDocument original = settingsLikeDocument();
  IniDocument copy = original;
  copy["Fraywick"]["FemaleBrawlers"] = "0";
  copy["New"]["k"] = "v";
  EXPECT_EQ(original.get("Fraywick").get("FemaleBrawlers"), "1");
  EXPECT_EQ(original.size(), 2u);
  EXPECT_TRUE(documentIndexAgrees(copy));
}

TEST(IniOrderedMapTest, ClearEmptiesEntriesAndIndex) {
  IniDocument document = settingsLikeDocument();
  document.clear();
  EXPECT_EQ(document.size(), 0u);
  EXPECT_TRUE(document.index.empty());
  document["Other"]["k"] = "w";  // once first place elsewhere, now first place here
  EXPECT_EQ(flatten(document), (FlatDocument{{"Other", {{"k", "w"}}}}));
  EXPECT_TRUE(documentIndexAgrees(document));
}

TEST(IniLoaderTest, KeepsItsFileName) {
  EXPECT_EQ(IniLoader("dir/Fraywick.ini").fileName, "dir/Fraywick.ini");
  EXPECT_EQ(IniLoader("").fileName, "");
}

}  // namespace
}  // namespace fraywick
