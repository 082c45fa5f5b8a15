#include "plugin/script.h"

#include "brawl/director.h"
#include "host/natives.h"
#include "plugin/keyboard.h"
#include "settings/settings.h"

namespace fraywick {
namespace {

// The guard. queryByName is the game's HAS_SCRIPT_LOADED: it answers non-zero while the game has
// its script "mudtown2" loaded (loaded, whether or not it runs), and the director keeps out of
// the way meanwhile.
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
