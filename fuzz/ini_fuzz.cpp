// Fuzzes the INI reader. Beyond surviving any bytes, the document must hold its own invariants
// and must not change under edits the reader promises to ignore; lines are also checked against
// a plain, literal rendering of the grammar, and the file path against the in-memory one.
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

IniDocument parseBytes(std::string_view bytes) {
  IniDocument document;
  fraywick::parseIniText(bytes, document);
  return document;
}

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

// The line rules as plainly as they can be written, byte by byte and with the blanked copy.
std::vector<std::string> referenceSplit(std::string_view bytes) {
  std::vector<std::string> lines;
  if (bytes.empty()) return lines;
  std::string line;
  for (const char byte : bytes) {
    if (byte == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (byte != '\r' && byte != '\0') {
      line.push_back(byte);
    }
  }
  lines.push_back(line);
  return lines;
}

IniLineKind referenceParseLine(std::string line, LinePair& result) {
  result = {};
  fraywick::trim(line);
  if (line.empty()) return IniLineKind::Empty;
  if (line[0] == ';') return IniLineKind::Comment;
  if (line[0] == '[') {
    const std::size_t semicolon = line.find(';');
    if (semicolon != std::string::npos) line = line.substr(0, semicolon);
    const std::size_t close = line.rfind(']');
    if (close != std::string::npos) {
      result.first = line.substr(1, close - 1);
      fraywick::trim(result.first);
      return IniLineKind::Section;
    }
  }
  std::string blanked = line;
  fraywick::replaceAll(blanked, "\\=", "  ");
  const std::size_t separator = blanked.find('=');
  if (separator == std::string::npos) return IniLineKind::Unrecognized;
  result.first = line.substr(0, separator);
  fraywick::trim(result.first);
  fraywick::replaceAll(result.first, "\\=", "=");
  result.second = line.substr(separator + 1);
  fraywick::trim(result.second);
  return IniLineKind::KeyValue;
}

// The document as the rules build it: every key line looks its section up by name again.
IniDocument referenceDocument(const std::vector<std::string>& lines) {
  IniDocument document;
  std::string current;
  bool headerSeen = false;
  for (const std::string& line : lines) {
    LinePair parsed;
    switch (referenceParseLine(line, parsed)) {
      case IniLineKind::Section:
        current = parsed.first;
        document[current];
        headerSeen = true;
        break;
      case IniLineKind::KeyValue:
        if (headerSeen) document[current][parsed.first] = parsed.second;
        break;
      default:
        break;
    }
  }
  return document;
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

IniDocument readThroughFile(std::string_view bytes) {
  {
    // A fresh file rather than a truncated one: some file systems flush a file that was
    // truncated and rewritten when it is closed, which would make every run wait on the disk.
    std::error_code ignored;
    std::filesystem::remove(scratchFile(), ignored);
    std::ofstream file(scratchFile(), std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    CHECK(file.good());
  }
  IniDocument document;
  document["stale"]["k"] = "v";
  CHECK(fraywick::IniLoader(scratchFile().string()).read(document));
  return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> lines = fraywick::splitIniLines(bytes);
  CHECK(lines == referenceSplit(bytes));
  for (const std::string& line : lines) {
    LinePair got{"stale", "stale"};
    LinePair expected;
    CHECK(fraywick::parseLine(line, got) == referenceParseLine(line, expected));
    CHECK(got == expected);
  }

  const IniDocument document = parseBytes(bytes);
  checkDocument(document);
  CHECK(document == referenceDocument(referenceSplit(bytes)));
  CHECK(parseBytes(bytes) == document);
  const IniDocument copy = document;
  CHECK(copy == document);
  checkDocument(copy);

  CHECK(parseBytes(withNoise(bytes)) == document);
  CHECK(parseBytes(std::string(bytes) + "\n;x") == document);
  const IniDocument fromFile = readThroughFile(bytes);  // read into a used document
  CHECK(fromFile == document);
  checkDocument(fromFile);
  return 0;
}
