# Reads a module's import and export tables with objdump and fails unless the module is fit to
# ship as the plug-in: it imports from ScriptHookRDR2.dll, KERNEL32.dll and msvcrt.dll only (a
# mingw runtime DLL would be missing beside the game), from the hook exactly its nine functions
# under their decorated names, the clock from KERNEL32.dll, and it exports nothing.
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<Fraywick.asi> -DHOOK_HEADER=<src/host/hook.h>
#         -P CheckPluginImports.cmake
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

execute_process(
  COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE dump
  ERROR_VARIABLE dump_errors
  RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "CheckPluginImports: ${OBJDUMP} -p ${MODULE} failed: ${dump_errors}")
endif()

# objdump lists each imported DLL as "DLL Name: X", a header line, then one "vma hint name" line
# per function, and an empty line after the last.
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
foreach(dll IN LISTS dlls)
  string(TOUPPER "${dll}" upper)
  if(NOT upper IN_LIST allowed_dlls)
    list(JOIN imports_${dll} ", " names)
    list(APPEND problems "imports from a DLL it may not depend on: ${dll} (${names})")
  elseif(upper STREQUAL "SCRIPTHOOKRDR2.DLL")
    list(APPEND hook_imports ${imports_${dll}})
  elseif(upper STREQUAL "KERNEL32.DLL")
    list(APPEND kernel_imports ${imports_${dll}})
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
list(JOIN dlls ", " dll_text)
message(STATUS "${MODULE}: imports from ${dll_text} only; the hook's nine functions; exports nothing")
