// The plug-in's one setting, read from Fraywick.ini when the script starts.
#pragma once

#include "settings/ini.h"

namespace fraywick {

struct Settings {
  bool femaleBrawlers;  // zero at load: no initialiser runs for it
};

extern Settings settings;

// The settings file, looked up in the current directory, and what its last read found.
extern IniLoader settingsFile;
extern IniDocument settingsDocument;

// Sets `femaleBrawlers` from key FemaleBrawlers of section Fraywick when the file is there and
// the value reads as a decimal integer; otherwise leaves it as it was. Never throws: the script
// loop starts right after it.
void loadSettings() noexcept;

}  // namespace fraywick
