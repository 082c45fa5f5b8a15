#include "settings/ini.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fraywick {
namespace {

constexpr std::string_view kWhiteSpace{" \t\n\r\f\v"};
constexpr std::string_view kEscapedEquals{"\\="};

// Most lines are short: one allocation of this size holds them whole.
constexpr std::size_t kLineRoom = 63;

// The first '=' not escaped by a backslash right before it. The same position as the first '='
// left after every backslash-equals pair is blanked out, without the copy that takes: a pair
// can only start at a backslash, so an earlier pair never swallows the backslash of a later one.
std::size_t findSeparator(const std::string& line) {
  for (std::size_t at = line.find('='); at != std::string::npos; at = line.find('=', at + 1)) {
    if (at == 0 || line[at - 1] != '\\') return at;
  }
  return std::string::npos;
}

// Appends `bytes` to `line` without its CR and NUL bytes, in runs rather than byte by byte.
void appendKeptBytes(std::string& line, std::string_view bytes) {
  std::size_t runStart = 0;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] == '\r' || bytes[at] == '\0') {
      line.append(bytes.data() + runStart, at - runStart);
      runStart = at + 1;
    }
  }
  line.append(bytes.data() + runStart, bytes.size() - runStart);
}

std::string freshLine() {
  std::string line;
  line.reserve(kLineRoom);
  return line;
}

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

}  // namespace

void trim(std::string& text) {
  // Tested byte by byte rather than searched for in kWhiteSpace: this runs three times a line.
  std::size_t end = text.size();
  while (end > 0 && isWhiteSpace(text[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && isWhiteSpace(text[begin])) ++begin;
  if (end < text.size()) text.resize(end);
  if (begin > 0) text.erase(0, begin);
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;  // would match everywhere and never move on
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

IniLineKind parseLine(std::string line, std::pair<std::string, std::string>& result) {
  result.first.clear();
  result.second.clear();
  trim(line);
  if (line.empty()) return IniLineKind::Empty;
  if (line.front() == ';') return IniLineKind::Comment;
  if (line.front() == '[') {
    // On a header line ';' starts a comment even inside the brackets.
    const std::size_t semicolon = line.find(';');
    if (semicolon != std::string::npos) line.erase(semicolon);
    const std::size_t close = line.rfind(']');
    if (close != std::string::npos) {
      result.first.assign(line, 1, close - 1);
      trim(result.first);
      return IniLineKind::Section;
    }
    // An unclosed header may still be a key/value line.
  }
  const std::size_t separator = findSeparator(line);
  if (separator == std::string::npos) return IniLineKind::Unrecognized;
  result.first.assign(line, 0, separator);
  trim(result.first);
  replaceAll(result.first, kEscapedEquals, "=");
  // Values keep their backslashes: the escape exists only to put '=' into a key. The value takes
  // over the line's own storage rather than a copy of its own.
  line.erase(0, separator + 1);
  trim(line);
  result.second = std::move(line);
  return IniLineKind::KeyValue;
}

std::vector<std::string> splitIniLines(std::string_view bytes) {
  std::vector<std::string> lines;
  if (bytes.empty()) return lines;
  lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  // Most files hold no CR and no NUL at all; then each line is taken whole, in one piece of the
  // size it needs, instead of being built up byte by byte.
  const bool nothingToDrop =
      bytes.find('\r') == std::string_view::npos && bytes.find('\0') == std::string_view::npos;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = bytes.find('\n', start);
    const std::string_view text =
        bytes.substr(start, end == std::string_view::npos ? end : end - start);
    if (nothingToDrop) {
      lines.emplace_back(text);
    } else {
      std::string line = freshLine();
      appendKeptBytes(line, text);
      lines.push_back(std::move(line));
    }
    if (end == std::string_view::npos) break;  // the text after the last LF, even when empty
    start = end + 1;
  }
  return lines;
}

void parseIniLines(std::vector<std::string> lines, IniDocument& document) {
  // Sections are only added at headers, so the current section stays where it is until the
  // next header: no need to look its name up again for every key.
  IniSection* section = nullptr;
  std::pair<std::string, std::string> parsed;
  for (std::string& line : lines) {
    switch (parseLine(std::move(line), parsed)) {
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
  }
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
  parseIniLines(readLines(), document);
  return true;
}

std::vector<std::string> IniFileReader::readLines() {
  if (!stream_.is_open()) return {};
  // One request for the whole file; whatever a short read leaves out stays NUL and is dropped.
  std::string bytes(static_cast<std::size_t>(length_), '\0');
  stream_.read(bytes.data(), static_cast<std::streamsize>(length_));
  stream_.close();
  return splitIniLines(bytes);
}

bool IniLoader::read(IniDocument& document) const {
  if (document.size() != 0) document.clear();
  if (fileName.empty()) return false;
  IniFileReader reader(fileName);
  return reader.parseInto(document);
}

}  // namespace fraywick
