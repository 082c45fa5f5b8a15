// A module that breaks each rule of the import check on the plug-in's own DLLs and beyond: it
// imports from a DLL the plug-in must never depend on (USER32.dll), a KERNEL32 function that may
// never appear (SuspendThread) and one that is on no allow-list (Beep). The check has to reject
// each, or it would not catch a stray runtime dependency either.
#include <windows.h>

extern "C" __declspec(dllexport) void foreignImportProbe() {
  MessageBeep(MB_OK);
  Beep(440, 10);
  SuspendThread(GetCurrentThread());
}
