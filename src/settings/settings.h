// The plug-in's one setting, read from Fraywick.ini when the script starts.
#pragma once

namespace fraywick {

struct Settings {
  bool femaleBrawlers;  // zero at load: no initialiser runs for it
};

extern Settings settings;

void loadSettings();

}  // namespace fraywick
