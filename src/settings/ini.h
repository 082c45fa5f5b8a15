// A small INI reader: sections of key/value strings, in file order, looked up by exact name.
//
// The text is taken as bytes: no encoding is interpreted, letter case matters everywhere, and
// nothing is reported except the boolean result of IniLoader::read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace fraywick {

// Removes the six bytes " \t\n\r\f\v" from both ends. Nothing else counts as white space: not
// NUL, not 0xA0, not any byte of 0x80 and above.
void trim(std::string& text);

// Replaces every occurrence of `from` left to right; the replacement is never searched again.
// An empty `from` matches nothing.
void replaceAll(std::string& text, std::string_view from, std::string_view to);

enum class IniLineKind : std::uint8_t { Empty, Comment, Section, KeyValue, Unrecognized };

// Decides what one line means. `result.first` receives the section name or the key,
// `result.second` the value; both are emptied first.
IniLineKind parseLine(std::string line, std::pair<std::string, std::string>& result);

// Keys in order of first insertion, found through `index`. Keys are stored trimmed and compared
// byte for byte. Entries are only ever appended; `clear` is the one way to remove them.
template <class V>
struct IniOrderedMap {
  std::unordered_map<std::string, std::uint64_t> index;  // key -> position in `items`
  std::vector<std::pair<std::string, V>> items;

  // The value of `key`, appended with the default value when absent.
  V& operator[](std::string key) {
    trim(key);
    const auto found = index.find(key);
    if (found != index.end()) return items[found->second].second;
    index.emplace(key, items.size());
    items.emplace_back(std::move(key), V{});
    return items.back().second;
  }

  // A copy of the value of `key`, or the default value; never inserts.
  V get(std::string key) const {
    trim(key);
    const auto found = index.find(key);
    return found == index.end() ? V{} : items[found->second].second;
  }

  void clear() {
    index.clear();
    items.clear();
  }

  std::uint64_t size() const { return items.size(); }

  bool operator==(const IniOrderedMap& other) const = default;
};

using IniSection = IniOrderedMap<std::string>;
using IniDocument = IniOrderedMap<IniSection>;

// Splits a file's bytes into lines: only LF ends a line, CR and NUL are dropped wherever they
// stand, and the text after the last LF is a line even when empty. No bytes give no lines.
std::vector<std::string> splitIniLines(std::string_view bytes);

// Reads one file, once: opens it on construction and closes it as soon as its bytes are in.
class IniFileReader {
 public:
  // Only a regular file counts as open; anything else (a missing file, a directory, a device)
  // leaves the reader closed, and that is not reported here.
  explicit IniFileReader(const std::string& fileName);

  // False, with `document` untouched, when the file is not open; otherwise fills it.
  bool parseInto(IniDocument& document);

  // The whole file, split by splitIniLines; closes the file.
  std::vector<std::string> readLines();

 private:
  std::ifstream stream_;
};

class IniLoader {
 public:
  explicit IniLoader(std::string fileName) : fileName(std::move(fileName)) {}

  // Empties `document`, then fills it from the file. False when the name is empty or the file
  // does not open; the document is then left empty.
  bool read(IniDocument& document) const;

  const std::string fileName;  // relative names resolve against the current directory
};

}  // namespace fraywick
