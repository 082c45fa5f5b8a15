// The script hook's nine functions, as the plug-in imports them, and the two clock functions of
// the operating system.
//
// The hook exports C++ functions under MSVC-decorated names, and this is the one place they are
// written: each declaration carries it in FRAYWICK_HOOK_NAME(plain, "..."), and the build reads
// them from here for the hook's import library, the hook double's exports and the import check
// (cmake/HookNames.cmake); a test decodes each name and compares it with its declaration. Keep
// one declaration per function in this shape.
//
// mingw (clang and g++, the two compilers that build the plug-in) mangles C++ names the Itanium
// way, so each declaration is bound to its decorated name with an asm label. The label is quoted
// for g++ because '?' and '@' are not symbol characters to the assembler unless quoted; and since
// g++ would glue its "__imp_" prefix in front of the quotes, the mingw declarations are not
// dllimport: calls go through the import library's small jump stubs to the same import table
// entries. Under MSVC, which nothing here builds or tests with, plain dllimport declarations would
// take these names by themselves. Natively (Linux) the same declarations are plain C++ functions
// that the simulated hook defines.
//
// The diagnostic build (Fraywick-diag) compiles the plug-in's sources once more with
// FRAYWICK_DIAG_RECORDING defined. Then each declaration is bound instead to the recording layer's
// function of the same signature (src/diag/recorder.cpp: fraywickDiag_ and the plain name), and
// the director's clock read goes there too; the recording layer itself is compiled without the
// definition, so its own calls reach the real hook. The shipped build compiles exactly as before.
//
// This is the only header of the plug-in that includes <windows.h>.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
// The hook's signatures are written in Windows types; natively they get stand-ins of the same
// widths so that both builds compile the same declarations.
struct HINSTANCE__;  // NOLINT(bugprone-reserved-identifier): Windows' own name for it
using HMODULE = HINSTANCE__*;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using UINT64 = std::uint64_t;

// Natively the simulated hook provides the clock, which is virtual there.
UINT64 GetTickCount64();
DWORD GetTickCount();
#endif

#if defined(FRAYWICK_DIAG_RECORDING)
#define FRAYWICK_HOOK_IMPORT
#define FRAYWICK_HOOK_NAME(plain, decorated) __asm__("fraywickDiag_" #plain)
#elif defined(_MSC_VER)
#define FRAYWICK_HOOK_IMPORT __declspec(dllimport)
#define FRAYWICK_HOOK_NAME(plain, decorated)
#elif defined(__MINGW32__) && defined(__clang__)
// clang takes an asm label as the symbol's name verbatim.
#define FRAYWICK_HOOK_IMPORT
#define FRAYWICK_HOOK_NAME(plain, decorated) __asm__(decorated)
#elif defined(__MINGW32__)
// g++ hands the label to the assembler, which needs the quotes.
#define FRAYWICK_HOOK_IMPORT
#define FRAYWICK_HOOK_NAME(plain, decorated) __asm__("\"" decorated "\"")
#else
#define FRAYWICK_HOOK_IMPORT __attribute__((visibility("default")))
#define FRAYWICK_HOOK_NAME(plain, decorated)
#endif

using ScriptMain = void (*)();
using KeyboardHandler = void (*)(DWORD key, WORD repeats, BYTE scanCode, BOOL isExtended,
                                 BOOL isWithAlt, BOOL wasDownBefore, BOOL isUpNow);

FRAYWICK_HOOK_IMPORT void scriptRegister(HMODULE module, ScriptMain entry)
    FRAYWICK_HOOK_NAME(scriptRegister, "?scriptRegister@@YAXPEAUHINSTANCE__@@P6AXXZ@Z");
FRAYWICK_HOOK_IMPORT void scriptUnregister(HMODULE module)
    FRAYWICK_HOOK_NAME(scriptUnregister, "?scriptUnregister@@YAXPEAUHINSTANCE__@@@Z");
FRAYWICK_HOOK_IMPORT void scriptWait(DWORD milliseconds)
    FRAYWICK_HOOK_NAME(scriptWait, "?scriptWait@@YAXK@Z");
FRAYWICK_HOOK_IMPORT void nativeInit(UINT64 hash)
    FRAYWICK_HOOK_NAME(nativeInit, "?nativeInit@@YAX_K@Z");
FRAYWICK_HOOK_IMPORT void nativePush64(UINT64 slot)
    FRAYWICK_HOOK_NAME(nativePush64, "?nativePush64@@YAX_K@Z");
FRAYWICK_HOOK_IMPORT UINT64* nativeCall() FRAYWICK_HOOK_NAME(nativeCall, "?nativeCall@@YAPEA_KXZ");
FRAYWICK_HOOK_IMPORT int worldGetAllPeds(int* peds, int capacity)
    FRAYWICK_HOOK_NAME(worldGetAllPeds, "?worldGetAllPeds@@YAHPEAHH@Z");
FRAYWICK_HOOK_IMPORT void keyboardHandlerRegister(KeyboardHandler handler)
    FRAYWICK_HOOK_NAME(keyboardHandlerRegister, "?keyboardHandlerRegister@@YAXP6AXKGEHHHH@Z@Z");
FRAYWICK_HOOK_IMPORT void keyboardHandlerUnregister(KeyboardHandler handler)
    FRAYWICK_HOOK_NAME(keyboardHandlerUnregister, "?keyboardHandlerUnregister@@YAXP6AXKGEHHHH@Z@Z");

#if defined(FRAYWICK_DIAG_RECORDING)
// The director's clock read, recorded too: a replay must give the plug-in the same time.
extern "C" UINT64 fraywickDiag_GetTickCount64();
#define GetTickCount64 fraywickDiag_GetTickCount64
#endif
