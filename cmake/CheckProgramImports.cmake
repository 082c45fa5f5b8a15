# Reads a Windows program's import table with objdump and fails unless every DLL it names is one
# of ALLOWED: a program that players run alone must need no DLL beside it (no mingw runtime DLL,
# no hook, no module of ours), only what every Windows has.
#
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<program.exe> -DALLOWED="KERNEL32.dll;..."
#         -P CheckProgramImports.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required OBJDUMP PROGRAM ALLOWED)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckProgramImports: -D${required}=... is required")
  endif()
endforeach()

execute_process(
  COMMAND ${OBJDUMP} -p ${PROGRAM}
  OUTPUT_VARIABLE dump
  ERROR_VARIABLE dump_errors
  RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "CheckProgramImports: ${OBJDUMP} -p ${PROGRAM} failed: ${dump_errors}")
endif()

string(TOUPPER "${ALLOWED}" allowed)
string(REGEX MATCHALL "\tDLL Name: [^\n]+" lines "${dump}")
set(dlls)
set(foreign)
foreach(line IN LISTS lines)
  string(REPLACE "\tDLL Name: " "" dll "${line}")
  list(APPEND dlls "${dll}")
  string(TOUPPER "${dll}" upper)
  if(NOT upper IN_LIST allowed)
    list(APPEND foreign "${dll}")
  endif()
endforeach()

if(NOT dlls)
  message(FATAL_ERROR "${PROGRAM}: no import table found: is this a PE program?")
endif()
list(JOIN dlls ", " names)
if(foreign)
  list(JOIN foreign ", " foreign_names)
  message(FATAL_ERROR "${PROGRAM} needs a DLL that Windows does not have: ${foreign_names} "
                      "(it imports from ${names})")
endif()
message(STATUS "${PROGRAM}: imports from ${names} only")
