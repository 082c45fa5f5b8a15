# Decodes each decorated name in src/host/hook.h with llvm-undname and compares the result with
# the declaration the name is bound to. A name that does not fit its declaration still links,
# against our own import library; only the real hook would then lack the function, or call it
# with other arguments.
#
#   cmake -DUNDNAME=<llvm-undname> -DHOOK_HEADER=<src/host/hook.h> -P CheckHookNames.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required UNDNAME HOOK_HEADER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckHookNames: -D${required}=... is required")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/HookNames.cmake)
fraywick_read_hook_functions("${HOOK_HEADER}" hook)

# How MSVC spells, in a decorated name, the types the declarations are written in (x64, where
# long is 32 bits wide).
set(msvc_void "void")
set(msvc_int "int")
set(msvc_DWORD "unsigned long")
set(msvc_WORD "unsigned short")
set(msvc_BYTE "unsigned char")
set(msvc_BOOL "int")
set(msvc_UINT64 "unsigned __int64")
set(msvc_HMODULE "struct HINSTANCE__*")

# `type` as MSVC spells it, into `out`; pointers to any type of the table, and the header's own
# function pointer aliases once they are read.
function(msvc_spelling type out)
  string(STRIP "${type}" type)
  if(type MATCHES "^(.*)\\*$")
    msvc_spelling("${CMAKE_MATCH_1}" base)
    set(${out} "${base}*" PARENT_SCOPE)
  elseif(DEFINED msvc_${type})
    set(${out} "${msvc_${type}}" PARENT_SCOPE)
  else()
    message(FATAL_ERROR "CheckHookNames: no MSVC spelling known for the type '${type}'")
  endif()
endfunction()

# A parameter list without the parameters' names, each type as MSVC spells it.
function(msvc_parameters parameters out)
  string(STRIP "${parameters}" parameters)
  if(parameters STREQUAL "")
    set(${out} "void" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE "," ";" parameters "${parameters}")
  set(spelled)
  foreach(parameter IN LISTS parameters)
    string(STRIP "${parameter}" parameter)
    if(parameter MATCHES "^(.*[ *])[A-Za-z_][A-Za-z0-9_]*$")
      set(parameter "${CMAKE_MATCH_1}")
    endif()
    msvc_spelling("${parameter}" type)
    list(APPEND spelled "${type}")
  endforeach()
  list(JOIN spelled "," joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# The header's function pointer types: using Name = Result (*)(Parameters);
file(READ "${HOOK_HEADER}" header_text)
string(REGEX REPLACE "//[^\n]*" "" header_text "${header_text}")
string(REGEX MATCHALL "using [A-Za-z_]+ = [^;]*\\(\\*\\)\\([^;]*\\)" aliases "${header_text}")
foreach(alias IN LISTS aliases)
  string(REGEX REPLACE "[ \t\n]+" " " alias "${alias}")
  if(NOT alias MATCHES "^using ([A-Za-z_]+) = ([^(]*)\\(\\*\\)\\((.*)\\)$")
    message(FATAL_ERROR "CheckHookNames: cannot read '${alias}'")
  endif()
  set(alias_name "${CMAKE_MATCH_1}")
  set(alias_parameters "${CMAKE_MATCH_3}")
  msvc_spelling("${CMAKE_MATCH_2}" alias_result)
  msvc_parameters("${alias_parameters}" alias_parameters)
  set(msvc_${alias_name} "${alias_result}(__cdecl*)(${alias_parameters})")
endforeach()

# Spaces only where two words meet, so that both spellings compare character for character.
function(normalized text out)
  string(REGEX REPLACE "[ \t\n]+" " " text "${text}")
  string(REGEX REPLACE " ?([*(),]) ?" "\\1" text "${text}")
  string(STRIP "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(problems)
set(index 0)
foreach(name IN LISTS hook_NAMES)
  list(GET hook_DECLARATIONS ${index} declaration)
  math(EXPR index "${index} + 1")
  if(NOT declaration MATCHES "^(.*[ *])([A-Za-z_][A-Za-z0-9_]*) ?\\((.*)\\)$")
    list(APPEND problems "cannot read the declaration '${declaration}'")
    continue()
  endif()
  set(function "${CMAKE_MATCH_2}")
  set(parameters "${CMAKE_MATCH_3}")
  msvc_spelling("${CMAKE_MATCH_1}" result)
  msvc_parameters("${parameters}" parameters)
  normalized("${result} __cdecl ${function}(${parameters})" expected)

  execute_process(COMMAND ${UNDNAME} "${name}" OUTPUT_VARIABLE decoded RESULT_VARIABLE status)
  # llvm-undname echoes the name, then prints what it decodes to.
  string(REPLACE "${name}\n" "" decoded "${decoded}")
  normalized("${decoded}" decoded)
  if(NOT status EQUAL 0 OR NOT decoded STREQUAL expected)
    list(APPEND problems
         "${name} decodes to '${decoded}', but is bound to '${declaration}', that is '${expected}'")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "hook.h binds names that do not fit their declarations:\n  ${text}")
endif()
list(LENGTH hook_NAMES count)
message(STATUS "hook.h: each of the ${count} decorated names decodes to its declaration")
