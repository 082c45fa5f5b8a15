#include "settings/settings.h"

#include <fstream>
#include <string>

namespace fraywick {
namespace {

constexpr char kSettingsFileName[] = "Fraywick.ini";
constexpr char kSectionName[] = "Fraywick";
constexpr char kFemaleBrawlersKey[] = "FemaleBrawlers";

bool settingsFileOpens() {
  std::ifstream probe(kSettingsFileName);  // no exception mask: a failed open only sets failbit
  const bool opens = probe.good();
  probe.close();
  return opens;
}

void loadSettingsOrThrow() {
  if (!settingsFileOpens()) return;
  settingsFile.read(settingsDocument);  // a failed read leaves the document empty: not found
  const std::string value = settingsDocument.get(kSectionName).get(kFemaleBrawlersKey);
  // Missing, empty, non-numeric or out-of-range values throw here, before the flag is written.
  settings.femaleBrawlers = std::stoi(value) != 0;
}

}  // namespace

Settings settings;

IniLoader settingsFile{kSettingsFileName};
IniDocument settingsDocument;

void loadSettings() noexcept {
  try {
    loadSettingsOrThrow();
  } catch (...) {
    // A value that does not convert, or a file too big to hold, leaves the flag as it was; the
    // script must go on either way, so nothing is reported.
  }
}

}  // namespace fraywick
