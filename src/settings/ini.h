// A small INI reader: sections of key/value strings, in file order, looked up by exact name.
//
// The text is taken as bytes: no encoding is interpreted, letter case matters everywhere, and
// nothing is reported except the boolean result of IniLoader::read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fraywick {

// Removes the six bytes " \t\n\r\f\v" from both ends. Nothing else counts as white space: not
// NUL, not 0xA0, not any byte of 0x80 and above.
void trim(std::string& text);

// Replaces every occurrence of `from` left to right; the replacement is never searched again.
// An empty `from` matches nothing.
void replaceAll(std::string& text, std::string_view from, std::string_view to);

enum class IniLineKind { Empty, Comment, Section, KeyValue, Unrecognized };

// Decides what one line means. `result.first` receives the section name or the key,
// `result.second` the value; both are emptied first.
IniLineKind parseLine(std::string line, std::pair<std::string, std::string>& result);

// The hash index of an IniOrderedMap: for each key, the position of its entry among the map's
// items. Open addressing with linear probing; a slot holds a key's hash and position but no copy
// of the key, which is compared where it lies in the items. So a new key costs the index no
// allocation of its own, only an occasional doubling of the slot table.
class IniIndex {
 public:
  static constexpr std::uint64_t kAbsent = UINT64_MAX;

  static std::size_t hashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }

  // The position of `key` (whose hash is `hash`) among `items`, pairs of key and value; or
  // kAbsent.
  template <class Items>
  std::uint64_t find(std::string_view key, std::size_t hash, const Items& items) const {
    if (slots_.empty()) return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.position == kAbsent) return kAbsent;
      if (slot.hash == hash && items[slot.position].first == key) return slot.position;
    }
  }
  template <class Items>
  std::uint64_t find(std::string_view key, const Items& items) const {
    return find(key, hashOf(key), items);
  }

  // Records `position` for a key, of hash `hash`, that the index does not hold yet.
  void insert(std::size_t hash, std::uint64_t position) {
    if ((count_ + 1) * 2 > slots_.size()) grow();  // at most half full: probe runs stay short
    place(hash, position);
    ++count_;
  }

  void clear() {
    slots_.clear();
    count_ = 0;
  }

  std::uint64_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::uint64_t position = kAbsent;
  };

  void place(std::size_t hash, std::uint64_t position) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].position != kAbsent) at = (at + 1) & mask;
    slots_[at] = Slot{hash, position};
  }

  void grow() {
    std::vector<Slot> previous(slots_.empty() ? 16 : slots_.size() * 2);
    previous.swap(slots_);
    for (const Slot& slot : previous) {
      if (slot.position != kAbsent) place(slot.hash, slot.position);
    }
  }

  std::vector<Slot> slots_;  // a power of two in size, or empty
  std::uint64_t count_ = 0;
};

// Keys in order of first insertion, found through a hash index. Keys are stored trimmed and
// compared byte for byte. Entries are only ever appended; `clear` is the one way to remove them.
template <class V>
struct IniOrderedMap {
  IniIndex index;  // key -> position in `items`
  std::vector<std::pair<std::string, V>> items;

  // The value of `key`, appended with the default value when absent.
  V& operator[](std::string key) {
    trim(key);
    const std::size_t hash = IniIndex::hashOf(key);
    const std::uint64_t found = index.find(key, hash, items);
    if (found != IniIndex::kAbsent) return items[found].second;
    items.emplace_back(std::move(key), V{});
    try {
      index.insert(hash, items.size() - 1);
    } catch (...) {
      items.pop_back();  // out of memory: keep the entries in step with the index
      throw;
    }
    return items.back().second;
  }

  // A copy of the value of `key`, or the default value; never inserts.
  V get(std::string key) const {
    trim(key);
    const std::uint64_t found = index.find(key, items);
    if (found == IniIndex::kAbsent) return V{};
    return items[found].second;
  }

  void clear() {
    index.clear();
    items.clear();
  }

  std::uint64_t size() const { return items.size(); }

  // Equal entries in equal order; the index follows from them.
  bool operator==(const IniOrderedMap& other) const { return items == other.items; }
};

using IniSection = IniOrderedMap<std::string>;
using IniDocument = IniOrderedMap<IniSection>;

// Splits raw file bytes into lines: only LF ends a line, CR and NUL are dropped wherever they
// stand, and the text after the last LF is a line even when empty. No bytes give no lines.
std::vector<std::string> splitIniLines(std::string_view bytes);

// Parses raw file bytes into `document`, line by line as splitIniLines cuts them, through
// operator[]: keys before the first header are dropped, a repeated header reopens its section,
// and the last value of a repeated key wins.
void parseIniText(std::string_view bytes, IniDocument& document);

// Reads one file, once: opens it on construction and closes it as soon as its bytes are in.
class IniFileReader {
 public:
  // Only a regular file whose length can be found counts as open; anything else (a missing
  // file, a directory, a device) leaves the reader closed, and that is not reported here.
  explicit IniFileReader(const std::string& fileName);

  // False, with `document` untouched, when the file is not open; otherwise fills it.
  bool parseInto(IniDocument& document);

  // The file's lines; closes the file.
  std::vector<std::string> readLines();

 private:
  // The whole file in one request sized by its length; closes the file.
  std::string readAll();

  std::ifstream stream_;
  std::uint64_t length_ = 0;
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
