// The library's entry point: the only plug-in file that knows how the operating system announces
// loading and unloading. Everything it does is in attachPlugin and detachPlugin.
#include "plugin/script.h"

#if defined(_WIN32)

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      fraywick::attachPlugin(module);
      break;
    case DLL_PROCESS_DETACH:
      fraywick::detachPlugin(module);
      break;
    default:  // thread notifications: nothing to do
      break;
  }
  return TRUE;
}

#else

// Natively the plug-in is a shared object that the simulated hook dlopens. The loader's
// constructor and destructor calls stand in for the attach and detach notifications, and the
// object's own DSO handle stands in for the module handle.
extern "C" void* __dso_handle;

namespace {

HMODULE ownModule() {
  return static_cast<HMODULE>(static_cast<void*>(&__dso_handle));
}

__attribute__((constructor)) void onLoad() {
  fraywick::attachPlugin(ownModule());
}
__attribute__((destructor)) void onUnload() {
  fraywick::detachPlugin(ownModule());
}

}  // namespace

#endif
