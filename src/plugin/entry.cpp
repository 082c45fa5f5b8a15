// The library's entry point: the only plug-in file that knows how the operating system announces
// loading and unloading. Everything it does is in attachPlugin and detachPlugin.
#include "plugin/script.h"

#if defined(_WIN32)

// The statically linked C++ runtime sets aside an arena at start-up so that an exception can
// still be thrown when memory runs out, about 71 KiB of the C runtime's heap, and never frees it
// itself: every load would leave one behind in the game. This is the runtime's own call for
// handing it back.
namespace __gnu_cxx {
void __freeres();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      fraywick::attachPlugin(module);
      break;
    case DLL_PROCESS_DETACH:
      fraywick::detachPlugin(module);
      // Nothing of the plug-in runs after this: the hook no longer calls it, and the static
      // destructors that follow throw nothing.
      __gnu_cxx::__freeres();
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
extern "C" void* __dso_handle;  // NOLINT(bugprone-reserved-identifier): the toolchain's name

namespace {

HMODULE ownModule() {
  return reinterpret_cast<HMODULE>(&__dso_handle);
}

__attribute__((constructor)) void onLoad() {
  fraywick::attachPlugin(ownModule());
}
__attribute__((destructor)) void onUnload() {
  fraywick::detachPlugin(ownModule());
}

}  // namespace

#endif
