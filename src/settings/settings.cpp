#include "settings/settings.h"

namespace fraywick {

Settings settings;

// Not built yet: the loader lands with the INI reader.
void loadSettings() {}

}  // namespace fraywick
