// The script the hook runs on its script fiber, and the plug-in's attach and detach steps.
#pragma once

#include "host/hook.h"

namespace fraywick {

// Never returns: loads the settings, then runs one guarded director pass per script tick.
void ScriptEntry();

// One pass of the loop, without the wait that ends it.
void runScriptPass();

// What the library entry does on process attach and detach.
void attachPlugin(HMODULE module);
void detachPlugin(HMODULE module);

}  // namespace fraywick
