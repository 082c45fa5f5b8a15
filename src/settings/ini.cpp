#include "settings/ini.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fraywick {
namespace {

constexpr std::string_view kWhiteSpace{" \t\n\r\f\v"};
constexpr std::string_view kEscapedEquals{"\\="};

// Lines that must be rebuilt without their CR or NUL bytes start with room for this many bytes.
constexpr std::size_t kLineRoom = 63;

constexpr bool isWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');  // tab, LF, vertical tab, form feed, CR
}
static_assert(
    [] {
      for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (isWhiteSpace(c) != (kWhiteSpace.find(c) != std::string_view::npos)) return false;
      }
      return true;
    }(),
    "isWhiteSpace must accept exactly the bytes of kWhiteSpace");

// trim on a view: the bytes stay where they are, only the view shrinks.
std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isWhiteSpace(text.back())) text.remove_suffix(1);
  while (!text.empty() && isWhiteSpace(text.front())) text.remove_prefix(1);
  return text;
}

// The first '=' not escaped by a backslash right before it. The same position as the first '='
// left after every backslash-equals pair is blanked out, without the copy that takes: a pair
// can only start at a backslash, so an earlier pair never swallows the backslash of a later one.
std::size_t findSeparator(std::string_view line) {
  for (std::size_t at = line.find('='); at != std::string_view::npos; at = line.find('=', at + 1)) {
    if (at == 0 || line[at - 1] != '\\') return at;
  }
  return std::string_view::npos;
}

// The grammar itself, on a view of the line, so that neither the line nor its parts are copied
// before it is known what they are; only the name and the value end up in strings of their own.
IniLineKind parseLineView(std::string_view line, std::pair<std::string, std::string>& result) {
  result.first.clear();
  result.second.clear();
  line = trimmed(line);
  if (line.empty()) return IniLineKind::Empty;
  if (line.front() == ';') return IniLineKind::Comment;
  if (line.front() == '[') {
    // On a header line ';' starts a comment even inside the brackets.
    line = line.substr(0, line.find(';'));
    const std::size_t close = line.rfind(']');
    if (close != std::string_view::npos) {
      result.first.assign(trimmed(line.substr(1, close - 1)));
      return IniLineKind::Section;
    }
    // An unclosed header may still be a key/value line.
  }
  const std::size_t separator = findSeparator(line);
  if (separator == std::string_view::npos) return IniLineKind::Unrecognized;
  const std::string_view key = trimmed(line.substr(0, separator));
  result.first.assign(key);
  if (key.find('\\') != std::string_view::npos) replaceAll(result.first, kEscapedEquals, "=");
  // Values keep their backslashes: the escape exists only to put '=' into a key.
  result.second.assign(trimmed(line.substr(separator + 1)));
  return IniLineKind::KeyValue;
}

// Calls `onLine` with a view of each line, in file order. Only LF ends a line; CR and NUL are
// dropped wherever they stand, and the text after the last LF is a line even when empty. A line
// without CR or NUL is handed over where it lies in `bytes`; only the others are rebuilt, in one
// reused buffer.
template <class OnLine>
void forEachLine(std::string_view bytes, OnLine&& onLine) {
  if (bytes.empty()) return;
  // Nearly every file holds neither byte: then one fast search each settles it for all lines.
  const bool nothingToDrop =
      bytes.find('\r') == std::string_view::npos && bytes.find('\0') == std::string_view::npos;
  std::string rebuilt;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = bytes.find('\n', start);
    const std::string_view text =
        bytes.substr(start, end == std::string_view::npos ? end : end - start);
    const auto dropped = [](char c) { return c == '\r' || c == '\0'; };
    std::size_t runStart = 0;
    std::size_t at = nothingToDrop ? text.size() : 0;
    while (at < text.size() && !dropped(text[at])) ++at;
    if (at == text.size()) {
      onLine(text);
    } else {
      if (rebuilt.capacity() < kLineRoom) rebuilt.reserve(kLineRoom);
      rebuilt.clear();
      for (; at < text.size(); ++at) {
        if (!dropped(text[at])) continue;
        rebuilt.append(text.data() + runStart, at - runStart);
        runStart = at + 1;
      }
      rebuilt.append(text.data() + runStart, text.size() - runStart);
      onLine(std::string_view(rebuilt));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

}  // namespace

void trim(std::string& text) {
  const std::string_view kept = trimmed(text);
  const auto begin = static_cast<std::size_t>(kept.data() - text.data());
  text.resize(begin + kept.size());
  text.erase(0, begin);
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;  // would match everywhere and never move on
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

IniLineKind parseLine(std::string line, std::pair<std::string, std::string>& result) {
  return parseLineView(line, result);
}

std::vector<std::string> splitIniLines(std::string_view bytes) {
  std::vector<std::string> lines;
  if (bytes.empty()) return lines;
  lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  forEachLine(bytes, [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

void parseIniText(std::string_view bytes, IniDocument& document) {
  // Sections are only added at headers, so the current section stays where it is until the
  // next header: no need to look its name up again for every key.
  IniSection* section = nullptr;
  std::pair<std::string, std::string> parsed;
  forEachLine(bytes, [&](std::string_view line) {
    switch (parseLineView(line, parsed)) {
      case IniLineKind::Section:
        section = &document[std::move(parsed.first)];
        break;
      case IniLineKind::KeyValue:
        if (section != nullptr) (*section)[std::move(parsed.first)] = std::move(parsed.second);
        break;  // before the first header there is no section to put it in
      case IniLineKind::Empty:
      case IniLineKind::Comment:
      case IniLineKind::Unrecognized:
        break;
    }
  });
}

IniFileReader::IniFileReader(const std::string& fileName) {
  // A directory opens as a stream on some systems, and seeking to its end there gives a length
  // near 2^63: only a regular file is ever opened, so no such length becomes a buffer.
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName, error)) return;
  stream_.open(fileName, std::ios::in | std::ios::binary);
  if (!stream_.is_open()) return;
  stream_.seekg(0, std::ios::end);
  const std::streamoff end = stream_.tellg();
  stream_.seekg(0, std::ios::beg);
  if (end < 0 || !stream_) {
    stream_.close();  // no length, no buffer to size: treated as not openable
    return;
  }
  length_ = static_cast<std::uint64_t>(end);
}

bool IniFileReader::parseInto(IniDocument& document) {
  if (!stream_.is_open()) return false;
  // The lines are parsed as they are cut from the file's bytes, never gathered in a list first.
  parseIniText(readAll(), document);
  return true;
}

std::vector<std::string> IniFileReader::readLines() {
  return splitIniLines(readAll());
}

std::string IniFileReader::readAll() {
  if (!stream_.is_open()) return {};
  // One request for the whole file; whatever a short read leaves out stays NUL and is dropped.
  std::string bytes(static_cast<std::size_t>(length_), '\0');
  stream_.read(bytes.data(), static_cast<std::streamsize>(length_));
  stream_.close();
  return bytes;
}

bool IniLoader::read(IniDocument& document) const {
  if (document.size() != 0) document.clear();
  if (fileName.empty()) return false;
  IniFileReader reader(fileName);
  return reader.parseInto(document);
}

}  // namespace fraywick
