#include "settings/ini.h"

#include <sys/stat.h>

namespace fraywick {
namespace {

constexpr char kWhiteSpace[] = " \t\n\r\f\v";
constexpr std::size_t kLineRoom = 63;

}  // namespace

void trim(std::string& text) {
  text.erase(text.find_last_not_of(kWhiteSpace) + 1);  // npos + 1: all of it is white space
  text.erase(0, text.find_first_not_of(kWhiteSpace));
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;  // would match everywhere and never move on
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The line is taken by value, as the reader's interface has it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
IniLineKind parseLine(std::string line, std::pair<std::string, std::string>& result) {
  result.first.clear();
  result.second.clear();
  trim(line);
  if (line.empty()) return IniLineKind::Empty;
  if (line[0] == ';') return IniLineKind::Comment;
  if (line[0] == '[') {
    // On a header line ';' starts a comment even inside the brackets.
    line = line.substr(0, line.find(';'));
    const std::size_t close = line.rfind(']');
    if (close != std::string::npos) {
      result.first = line.substr(1, close - 1);
      trim(result.first);
      return IniLineKind::Section;
    }
    // An unclosed header may still be a key/value line.
  }
  // A backslash before '=' puts the '=' into the key. Blanking those pairs in a copy of the same
  // length leaves the separator as the copy's first '='.
  std::string blanked = line;
  replaceAll(blanked, "\\=", "  ");
  const std::size_t separator = blanked.find('=');
  if (separator == std::string::npos) return IniLineKind::Unrecognized;
  result.first = line.substr(0, separator);
  trim(result.first);
  replaceAll(result.first, "\\=", "=");
  // Values keep their backslashes: the escape exists only to put '=' into a key.
  result.second = line.substr(separator + 1);
  trim(result.second);
  return IniLineKind::KeyValue;
}

IniFileReader::IniFileReader(const std::string& fileName) {
  // A directory or a device can open as a stream, and seeking to a directory's end can give a
  // length near 2^63: only a regular file is opened, so no such length ever sizes a buffer.
  struct stat status = {};
  if (stat(fileName.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
  stream_.open(fileName, std::ios::in | std::ios::binary);
}

bool IniFileReader::parseInto(IniDocument& document) {
  if (!stream_.is_open()) return false;
  std::string section;
  bool inSection = false;
  std::pair<std::string, std::string> parsed;
  for (const std::string& line : readLines()) {
    const IniLineKind kind = parseLine(line, parsed);
    if (kind == IniLineKind::Section) {
      section = parsed.first;
      document[section];  // a section exists from its header on, with or without keys
      inSection = true;
    } else if (kind == IniLineKind::KeyValue && inSection) {
      document[section][parsed.first] = parsed.second;
    }
    // Keys before the first header have no section to go to; other lines mean nothing.
  }
  return true;
}

std::vector<std::string> splitIniLines(std::string_view bytes) {
  std::vector<std::string> lines;
  if (bytes.empty()) return lines;
  std::string line;
  line.reserve(kLineRoom);
  for (const char byte : bytes) {
    if (byte == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (byte != '\r' && byte != '\0') {
      line.push_back(byte);
    }
  }
  lines.push_back(line);  // the text after the last LF is a line even when empty
  return lines;
}

std::vector<std::string> IniFileReader::readLines() {
  // One request for the whole file, sized by its length; whatever a short read leaves out stays
  // NUL and is dropped with the other NULs. A length that cannot be found reads as no bytes.
  stream_.seekg(0, std::ios::end);
  const std::streamoff length = stream_.tellg();
  stream_.seekg(0, std::ios::beg);
  std::string bytes(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  stream_.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  stream_.close();
  return splitIniLines(bytes);
}

bool IniLoader::read(IniDocument& document) const {
  document.clear();
  if (fileName.empty()) return false;
  IniFileReader reader(fileName);
  return reader.parseInto(document);
}

}  // namespace fraywick
