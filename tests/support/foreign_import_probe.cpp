// A module that imports from a DLL the plug-in must never depend on (USER32.dll): the import
// check has to reject it, or it would not catch a stray runtime dependency either.
#include <windows.h>

extern "C" __declspec(dllexport) void foreignImportProbe() {
  MessageBeep(MB_OK);
}
