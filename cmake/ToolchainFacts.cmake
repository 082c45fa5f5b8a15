# Reads facts of tools/toolchain.sh, the one place that decides the toolchain (which LLVM, where
# mingw-w64 keeps its runtimes), into FRAYWICK_<KEY> variables:
#
#   fraywick_toolchain_facts(LLVM_BIN MINGW_WIN32_RUNTIME ...)
#
# The toolchain files call it, and CMake reads them again for every compiler check it makes; the
# facts are asked once per build folder and handed to those checks, since asking apt can take
# seconds. A fact that is empty (its tool is not installed) stops the configure, and is never
# kept: the same build folder configures once the tool is installed.
function(fraywick_toolchain_facts)
  set(asked)
  foreach(key IN LISTS ARGN)
    if("${FRAYWICK_${key}}" STREQUAL "")
      list(APPEND asked ${key})
    endif()
  endforeach()
  if(asked)
    execute_process(COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/toolchain.sh ${asked}
                    OUTPUT_VARIABLE facts ERROR_VARIABLE errors RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "tools/toolchain.sh ${asked} failed: ${errors}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${facts}")
    foreach(line IN LISTS lines)
      if(line MATCHES "^([A-Z0-9_]+)=(.+)$")
        set(FRAYWICK_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" CACHE INTERNAL
            "${CMAKE_MATCH_1}, from tools/toolchain.sh")
      endif()
    endforeach()
  endif()
  foreach(key IN LISTS ARGN)
    if("${FRAYWICK_${key}}" STREQUAL "")
      message(FATAL_ERROR "tools/toolchain.sh knows no ${key} on this machine: its tools are not "
                          "installed. Install them with `make packages` (tools/install-tools.sh), "
                          "then configure this build folder again.")
    endif()
  endforeach()
  set(passed ${CMAKE_TRY_COMPILE_PLATFORM_VARIABLES})
  list(TRANSFORM ARGN PREPEND FRAYWICK_ OUTPUT_VARIABLE variables)
  list(APPEND passed ${variables})
  list(REMOVE_DUPLICATES passed)
  set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ${passed} PARENT_SCOPE)
endfunction()
