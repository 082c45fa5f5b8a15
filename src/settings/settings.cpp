#include "settings/settings.h"

#include <cstdint>
#include <fstream>
#include <string>

namespace fraywick {
namespace {

constexpr char kSettingsFileName[] = "Fraywick.ini";
constexpr char kSectionName[] = "Fraywick";
constexpr char kFemaleBrawlersKey[] = "FemaleBrawlers";

// Reads a 32-bit signed decimal as std::stoi does: leading white space, one optional sign, then
// digits up to the first other character. False, with `number` untouched, when no digit comes
// or the number is out of range. Written out because std::stoi reports both as exceptions, and
// every exception raised in the game process is seen by its crash reporters.
bool readDecimal(std::string text, std::int32_t& number) {
  trim(text);  // the six bytes it removes are the C locale's white space
  std::size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++at;
  const std::size_t firstDigit = at;
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > std::int64_t{INT32_MAX} + 1) return false;  // more digits cannot bring it back
  }
  if (at == firstDigit) return false;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return false;
  number = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

Settings settings;

// Twelve characters fit std::string's own buffer: nothing is allocated, so nothing can throw
// while the loader constructs it.
IniLoader settingsFile{kSettingsFileName};  // NOLINT(cert-err58-cpp)
IniDocument settingsDocument;

void loadSettings() noexcept {
  // The probe has no exception mask: a file that does not open only sets its failbit.
  if (!std::ifstream(kSettingsFileName).good()) return;
  try {
    settingsFile.read(settingsDocument);  // a failed read leaves the document empty: not found
    const std::string value = settingsDocument.get(kSectionName).get(kFemaleBrawlersKey);
    // A missing, empty, non-numeric or out-of-range value leaves the flag as it was.
    std::int32_t number = 0;
    if (readDecimal(value, number)) settings.femaleBrawlers = number != 0;
  } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do but go on, as said inside
    // Only memory running out can throw here, on a settings file too big to hold; the game must
    // not end over it, and the script starts with the flag as it was.
  }
}

}  // namespace fraywick
