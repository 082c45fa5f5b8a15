# Reads a module's import and export tables with objdump and fails unless the module is fit to
# ship as the plug-in: it imports from ScriptHookRDR2.dll, KERNEL32.dll and msvcrt.dll only (a
# mingw runtime DLL would be missing beside the game); from the hook exactly its nine functions
# under their decorated names (as hook.h declares them); from KERNEL32.dll and msvcrt.dll only
# the functions of the allow-list below, each named there with the reason it is needed, and
# never one of the forbidden ones; the clock from KERNEL32.dll; and it exports nothing.
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<Fraywick.asi> -DHOOK_HEADER=<src/host/hook.h>
#         [-DDIAGNOSTIC=ON] -P CheckPluginImports.cmake
#
# DIAGNOSTIC=ON checks the diagnostic build, which may also import what its recording layer
# needs; the shipped module may not.
cmake_minimum_required(VERSION 3.25)

foreach(required OBJDUMP MODULE HOOK_HEADER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckPluginImports: -D${required}=... is required")
  endif()
endforeach()

set(allowed_dlls SCRIPTHOOKRDR2.DLL KERNEL32.DLL MSVCRT.DLL)
# The hook's names, as hook.h declares them.
include(${CMAKE_CURRENT_LIST_DIR}/HookNames.cmake)
fraywick_read_hook_functions("${HOOK_HEADER}" hook)
set(hook_functions ${hook_NAMES})
set(clock_functions GetTickCount64 GetTickCount)

# Never, whatever else changes: each lets a guest in the game process reach past itself, into
# other threads, other processes, every exception of the process, or the file system's links.
set(forbidden_reason_SuspendThread "stops another thread")
set(forbidden_reason_GetThreadContext "reads another thread's registers")
set(forbidden_reason_SetThreadContext "rewrites another thread's registers")
set(forbidden_reason_OpenProcess "opens another process")
set(forbidden_reason_WriteProcessMemory "writes into another process")
set(forbidden_reason_CreateRemoteThread "starts a thread in another process")
set(forbidden_reason_AddVectoredExceptionHandler
    "sees every exception of the whole process before the game does")
set(forbidden_reason_CreateHardLink "makes hard links in the file system")
set(forbidden SuspendThread GetThreadContext SetThreadContext OpenProcess WriteProcessMemory
    CreateRemoteThread AddVectoredExceptionHandler CreateHardLink)

# --- The allow-list: allow(<DLL> "<why>" <function>...) ---
# Almost everything comes from what the plug-in links statically: mingw-w64's start-up code and
# C runtime glue, libgcc, and libstdc++'s file streams, which the settings file is read with and
# which bring the locale machinery of every stream. The runtime is that of the machine's mingw-w64
# (GCC 12 on Debian 12, GCC 14 on Debian 13); where the two need different functions, both are
# here, each saying which release brings it.
macro(allow dll reason)
  foreach(function ${ARGN})
    set(allowed_${dll}_${function} "${reason}")
    list(APPEND allowed_${dll} ${function})
  endforeach()
endmacro()
# What only the diagnostic build's recording layer (src/diag/) may import.
macro(allow_diagnostic dll reason)
  if(DIAGNOSTIC)
    allow(${dll} "${reason}" ${ARGN})
  endif()
endmacro()

allow(KERNEL32 "the director's once-a-second scan gate (src/brawl/director.cpp)" GetTickCount64)
allow(KERNEL32 "the time of each key message (src/plugin/keyboard.cpp)" GetTickCount)
allow(KERNEL32 "mingw-w64 start-up: applies the pseudo-relocations of the module's data at load"
      VirtualProtect VirtualQuery)
allow(KERNEL32 "mingw-w64 start-up: waits on the start-up lock; libgcc's locks spin with it"
      Sleep)
allow(KERNEL32 "mingw-w64 start-up: the per-thread destructor list of its TLS callback"
      InitializeCriticalSection EnterCriticalSection LeaveCriticalSection DeleteCriticalSection)
allow(KERNEL32 "libgcc's win32 threads: the thread-local keys and once-guards libstdc++ uses"
      TlsAlloc TlsFree TlsGetValue TlsSetValue)
allow(KERNEL32 "libgcc's win32 threads: its mutexes, which libstdc++'s locale set-up takes \
(GCC 12 makes them of semaphores)"
      CreateSemaphoreW ReleaseSemaphore WaitForSingleObject CloseHandle GetCurrentThreadId)
allow(KERNEL32 "libgcc's win32 threads from GCC 13 on: its mutexes are critical sections, and \
its try-lock and thread identity come in the same object"
      TryEnterCriticalSection GetThreadId)
allow(KERNEL32 "libgcc's win32 threads from GCC 13 on: the condition variable that libstdc++'s \
guard of function-local statics waits on; its timed wait reads the system time"
      InitializeConditionVariable SleepConditionVariableCS WakeConditionVariable
      WakeAllConditionVariable GetSystemTimeAsFileTime)
allow(KERNEL32 "libgcc's win32 threads and mingw-w64's runtime keep the caller's last error"
      GetLastError SetLastError)
allow(KERNEL32 "libgcc's unwinder for C++ exceptions, which libstdc++ can throw"
      RaiseException RtlCaptureContext RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind)
allow(KERNEL32 "libstdc++'s system_error, linked in with the file streams' ios_base::failure"
      FormatMessageA LocalFree)
allow(KERNEL32 "mingw-w64's mbrtowc and wcrtomb under libstdc++'s codecvt facets"
      MultiByteToWideChar WideCharToMultiByte IsDBCSLeadByteEx)
allow(KERNEL32 "mingw-w64's rand_s finds RtlGenRandom at run time; libstdc++'s COW string \
instantiations, which its exception classes use, carry std::random_device and so rand_s"
      LoadLibraryW GetProcAddress GetModuleHandleW)

allow(msvcrt "memory and string primitives: the plug-in's code and libstdc++"
      memcpy memmove memset memcmp memchr strlen strcmp strncmp wcslen)
allow(msvcrt "the heap: the settings document (src/settings/) and libstdc++"
      malloc calloc realloc free)
allow(msvcrt "mingw-w64 start-up: runs the module's static constructors"
      _initterm _amsg_exit)
allow(msvcrt "mingw-w64's table of the module's static destructors (atexit)" _lock _unlock)
allow(msvcrt "errno, of the C runtime calls below" _errno)
allow(msvcrt "std::terminate, and mingw-w64 start-up when a pseudo-relocation fails" abort)
allow(msvcrt "libstdc++'s file streams, on C stdio: reading Fraywick.ini (GCC 14's also give a \
stream's Windows handle, and no longer close by descriptor)"
      fopen _wfopen _fdopen fclose fflush setvbuf _fileno _fstat64 _lseeki64 _read _write _close
      _get_osfhandle)
allow(msvcrt "libstdc++ from GCC 13 on: the pool kept for throwing when memory runs out reads its \
size from the environment (GLIBCXX_TUNABLES) when the module starts"
      getenv strchr strtoul)
allow(msvcrt "the INI reader opens regular files only (src/settings/ini.cpp)" _stat64)
allow_diagnostic(msvcrt "the recording layer (src/diag/recorder.cpp): reads Fraywick.ini in \
pieces and writes the recording" fread fseek ftell)
allow_diagnostic(msvcrt "the recording layer: moves the recordings of earlier loads aside, \
measures them, and removes those past the number and size it keeps" rename remove ferror)
allow(msvcrt "stderr messages of std::terminate's handler and mingw-w64's start-up"
      __iob_func fputc fputs fwrite vfprintf strerror)
allow(msvcrt "libstdc++'s locale facets, which every stream is made with"
      setlocale localeconv strcoll strxfrm wcscoll wcsxfrm strftime wcsftime iswctype towlower
      towupper ___lc_codepage_func ___mb_cur_max_func)

foreach(dll KERNEL32 msvcrt)
  foreach(function IN LISTS allowed_${dll})
    foreach(never IN LISTS forbidden)
      if(function MATCHES "^${never}")
        message(FATAL_ERROR "CheckPluginImports: ${function} is forbidden and cannot be allowed")
      endif()
    endforeach()
  endforeach()
endforeach()

execute_process(
  COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE dump
  ERROR_VARIABLE dump_errors
  RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "CheckPluginImports: ${OBJDUMP} -p ${MODULE} failed: ${dump_errors}")
endif()

# objdump lists each imported DLL as "DLL Name: X", a header line, then one line per function,
# and an empty line after the last. A function's line is "vma<TAB>  hint  name" from binutils
# 2.40 (Debian 12), "vma  ordinal  hint  name" from 2.43 on (Debian 13; "<none>" for no ordinal).
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(dlls)
set(dll "")
set(export_count "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\tDLL Name: (.+)$")
    set(dll "${CMAKE_MATCH_1}")
    list(APPEND dlls "${dll}")
    set(imports_${dll})
  elseif(line STREQUAL "")
    set(dll "")
  elseif(NOT dll STREQUAL "" AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  (.+)$")
    list(APPEND imports_${dll} "${CMAKE_MATCH_1}")
  elseif(NOT dll STREQUAL "" AND line MATCHES "^\t[0-9a-f]+  ([0-9]+|<none>)  [0-9a-f]+  (.+)$")
    list(APPEND imports_${dll} "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^\t\\[Name Pointer/Ordinal\\] Table\t+([0-9a-f]+)$")
    set(export_count "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(problems)
if(NOT dlls)
  list(APPEND problems "no import table found: is this a PE module?")
endif()

set(hook_imports)
set(kernel_imports)
set(counts)
foreach(dll IN LISTS dlls)
  string(TOUPPER "${dll}" upper)
  list(REMOVE_DUPLICATES imports_${dll})
  list(LENGTH imports_${dll} count)
  list(APPEND counts "${count} from ${dll}")
  set(forbidden_imports)
  foreach(function IN LISTS imports_${dll})
    foreach(never IN LISTS forbidden)
      if(function MATCHES "^${never}")
        string(CONCAT problem "imports ${dll}!${function}, which the plug-in may never import: "
                      "it ${forbidden_reason_${never}}")
        list(APPEND problems "${problem}")
        list(APPEND forbidden_imports "${function}")
      endif()
    endforeach()
  endforeach()
  if(NOT upper IN_LIST allowed_dlls)
    list(JOIN imports_${dll} ", " names)
    list(APPEND problems "imports from a DLL it may not depend on: ${dll} (${names})")
  elseif(upper STREQUAL "SCRIPTHOOKRDR2.DLL")
    list(APPEND hook_imports ${imports_${dll}})
  else()
    if(upper STREQUAL "KERNEL32.DLL")
      set(list_name KERNEL32)
      list(APPEND kernel_imports ${imports_${dll}})
    else()
      set(list_name msvcrt)
    endif()
    foreach(function IN LISTS imports_${dll})
      if(NOT DEFINED allowed_${list_name}_${function} AND NOT function IN_LIST forbidden_imports)
        string(CONCAT problem "imports ${dll}!${function}, which is not on the allow-list: "
                      "remove what pulls it in, or name it in cmake/CheckPluginImports.cmake "
                      "with the reason it is needed")
        list(APPEND problems "${problem}")
      endif()
    endforeach()
  endif()
endforeach()

foreach(name IN LISTS hook_imports)
  if(NOT name IN_LIST hook_functions)
    list(APPEND problems "imports a name the hook does not have: ScriptHookRDR2.dll!${name}")
  endif()
endforeach()
foreach(name IN LISTS hook_functions)
  if(NOT name IN_LIST hook_imports)
    list(APPEND problems "does not import the hook's ${name} from ScriptHookRDR2.dll")
  endif()
endforeach()
foreach(name IN LISTS clock_functions)
  if(NOT name IN_LIST kernel_imports)
    list(APPEND problems "does not import ${name} from KERNEL32.dll")
  endif()
endforeach()

if(export_count STREQUAL "")
  # No export table at all is fine too.
elseif(NOT export_count MATCHES "^0+$")
  list(APPEND problems "exports functions (0x${export_count} names), where the plug-in exports none")
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${MODULE} is not fit to ship:\n  ${text}")
endif()
list(JOIN counts ", " count_text)
message(STATUS "${MODULE}: imports ${count_text}, each on the allow-list; exports nothing")
