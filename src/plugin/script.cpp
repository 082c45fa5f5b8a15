#include "plugin/script.h"

#include "brawl/director.h"
#include "host/natives.h"
#include "plugin/keyboard.h"
#include "settings/settings.h"

namespace fraywick {
namespace {

// The game answers non-zero to this query while the director must stay out of the way.
constexpr char kGuardName[] = "mudtown2";

}  // namespace

void runScriptPass() {
  if (queryByName(Text{kGuardName}) == 0) runBrawlDirector();
}

void ScriptEntry() {
  loadSettings();
  for (;;) {
    runScriptPass();
    scriptWait(0);
  }
}

void attachPlugin(HMODULE module) {
  scriptRegister(module, ScriptEntry);
  keyboardHandlerRegister(RecordKeyMessage);
}

void detachPlugin(HMODULE module) {
  scriptUnregister(module);
  keyboardHandlerUnregister(RecordKeyMessage);
}

}  // namespace fraywick
