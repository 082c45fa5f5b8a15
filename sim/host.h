// The simulated script hook, seen from the side of the game: it loads the plug-in module, runs
// its script one tick at a time and delivers keyboard messages to it. Everything the plug-in asks
// of the game lands in the process-wide World.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/world.h"

namespace sim {

// The world the hook's functions answer from. Tests replace it with resetWorld().
SIM_API World& world();
SIM_API void resetWorld();

// Loads the plug-in as the real hook loads an .asi: the operating system's loader maps it and
// its attach notification runs. Natively this is dlopen; on Windows LoadLibrary, followed by the
// redirection of the plug-in's clock imports to the virtual clock. On failure returns false and
// says why in `error`.
SIM_API bool loadPlugin(const std::string& path, std::string* error);
SIM_API bool pluginLoaded();

// Unloads the plug-in; its detach notification runs.
SIM_API void unloadPlugin();

// Runs the registered script until its next scriptWait, then advances the virtual clock by the
// world's clock step. Returns false, and runs nothing, when no script is registered.
SIM_API bool tick();

// Stops the script as the hook does when the game reloads a session, and starts its entry again
// while the plug-in stays loaded: the script's fiber, waiting in scriptWait, is deleted with its
// frames never unwound, and the next tick() starts the same registered entry on a fresh fiber.
// Returns false, and does nothing, when no script is registered (or when called from the script
// itself, which the hook's misuse list then notes).
SIM_API bool restartScript();

// The stack each script fiber gets: set by the hook, not left to the platform's default (on
// Windows it is committed whole when the fiber is made).
inline constexpr std::size_t kScriptStackBytes = 256 * 1024;

// The most stack a script fiber has used, in bytes from the top of its stack, over every fiber
// since the last resetScriptStackPeak() (or the start of the process), the current one included.
// Each fiber's unused stack is filled with a pattern before its entry starts; a fiber's figure is
// its lowest overwritten byte, taken again when the fiber is deleted (at restart, at a new
// registration and at unregistration).
SIM_API std::size_t scriptStackPeak();
SIM_API void resetScriptStackPeak();

// Delivers one keyboard message to the registered handler on the calling thread, as the real
// hook does from its window procedure. Returns false when no handler is registered.
SIM_API bool sendKey(std::uint32_t key, std::uint16_t repeats, std::uint8_t scanCode,
                     int isExtended, int isWithAlt, int wasDownBefore, int isUpNow);

SIM_API bool scriptRegistered();
SIM_API bool keyboardHandlerRegistered();

#if defined(_WIN32)
// The loaded plug-in's module handle, as LoadLibrary returned it; nullptr while none is loaded.
SIM_API void* pluginModule();

// Points a module's KERNEL32 imports of GetTickCount and (unless told not to) GetTickCount64 at
// the virtual clock (world().clockMs), by rewriting its import address table. loadPlugin does
// this for the plug-in; a test program does it for itself when it calls the plug-in's code
// directly. Returns how many import entries now read the virtual clock.
SIM_API int redirectClockImports(void* module, bool includeTickCount64 = true);
#endif

// Ends the process at once with `status`, as a crash or a forced quit ends the game in the middle
// of a session: the plug-in gets no detach notification, none of its static destructors runs, and
// nothing a C runtime still holds in its buffers is written. Natively _exit, on Windows
// TerminateProcess.
[[noreturn]] SIM_API void endProcess(int status);

// Where the plug-in module lies: next to the program (Fraywick.asi on Windows, Fraywick.so
// natively) unless FRAYWICK_PLUGIN names another file.
SIM_API std::string defaultPluginPath();

}  // namespace sim
