// Fuzzes the INI reader through the files it reads. Beyond surviving any bytes, the lines and
// the document must hold their invariants, and the document must not change under edits the
// reader promises to ignore.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/ini.h"

namespace {

using fraywick::IniDocument;
using fraywick::IniLineKind;
using fraywick::IniOrderedMap;
using LinePair = std::pair<std::string, std::string>;

[[noreturn]] void broken(const char* what, int line) {
  std::fprintf(stderr, "ini_fuzz: invariant broken at line %d: %s\n", line, what);
  std::abort();
}
#define CHECK(condition) ((condition) ? void(0) : broken(#condition, __LINE__))

bool isTrimmed(const std::string& text) {
  std::string copy = text;
  fraywick::trim(copy);
  return copy == text;
}

// Names trimmed, every entry indexed at its own place and nothing else indexed; with as many
// index entries as items, that also makes every name unique.
template <class V>
void checkMap(const IniOrderedMap<V>& map) {
  CHECK(map.index.size() == map.items.size());
  CHECK(map.size() == map.items.size());
  for (std::size_t at = 0; at < map.items.size(); ++at) {
    CHECK(isTrimmed(map.items[at].first));
    const auto found = map.index.find(map.items[at].first);
    CHECK(found != map.index.end() && found->second == at);
  }
}

void checkDocument(const IniDocument& document) {
  checkMap(document);
  for (const auto& [name, section] : document.items) {
    checkMap(section);
    CHECK(document.get(" \t" + name + "\r\n") == section);
    for (const auto& [key, value] : section.items) CHECK(section.get("\v" + key + "\f") == value);
  }
}

// Every byte but CR and NUL, in order, with one LF between lines; so no line holds an LF, and
// there is one line more than there are LFs, or none for no bytes at all.
void checkLines(std::string_view bytes, const std::vector<std::string>& lines) {
  std::string kept;
  for (const char byte : bytes) {
    if (byte != '\r' && byte != '\0') kept += byte;
  }
  std::string joined;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    CHECK(lines[at].find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos);
    if (at > 0) joined += '\n';
    joined += lines[at];
  }
  CHECK(joined == kept);
  const auto lineFeeds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  CHECK(lines.size() == (bytes.empty() ? 0 : lineFeeds + 1));
}

// What a line means does not depend on white space around it, and names and values come out
// trimmed.
void checkLine(const std::string& line) {
  LinePair parsed{"stale", "stale"};
  const IniLineKind kind = fraywick::parseLine(line, parsed);
  CHECK(isTrimmed(parsed.first) && isTrimmed(parsed.second));
  if (kind != IniLineKind::KeyValue) CHECK(parsed.second.empty());
  if (kind != IniLineKind::KeyValue && kind != IniLineKind::Section) CHECK(parsed.first.empty());
  LinePair padded;
  CHECK(fraywick::parseLine(" \t" + line + "\f\v", padded) == kind);
  CHECK(padded == parsed);
}

// The same bytes with CR and NUL sprinkled in at places the input itself picks.
std::string withNoise(std::string_view bytes) {
  std::string noisy(1, '\0');
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const std::size_t pick = static_cast<unsigned char>(bytes[at]) + at;
    if (pick % 3 == 0) noisy += '\r';
    if (pick % 5 == 0) noisy += '\0';
    noisy += bytes[at];
  }
  noisy += '\r';
  return noisy;
}

const std::filesystem::path& scratchFile() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("fraywick-fuzz-" + std::to_string(std::random_device{}()) + ".ini");
  static const bool removedAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    });
    return true;
  }();
  (void)removedAtExit;
  return path;
}

void writeScratchFile(std::string_view bytes) {
  // A fresh file rather than a truncated one: some file systems flush a file that was truncated
  // and rewritten when it is closed, which would make every run wait on the disk.
  std::error_code ignored;
  std::filesystem::remove(scratchFile(), ignored);
  std::ofstream file(scratchFile(), std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  CHECK(file.good());
}

IniDocument readDocument(std::string_view bytes) {
  writeScratchFile(bytes);
  IniDocument document;
  document["stale"]["k"] = "v";  // whatever was there before the read is gone after it
  CHECK(fraywick::IniLoader(scratchFile().string()).read(document));
  return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> lines = fraywick::splitIniLines(bytes);
  checkLines(bytes, lines);
  for (const std::string& line : lines) checkLine(line);

  const IniDocument document = readDocument(bytes);
  checkDocument(document);
  const IniDocument copy = document;
  CHECK(copy == document);
  checkDocument(copy);

  CHECK(readDocument(withNoise(bytes)) == document);
  CHECK(readDocument(std::string(bytes) + "\n;x") == document);
  return 0;
}
