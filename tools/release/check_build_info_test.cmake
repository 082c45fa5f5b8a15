# The BUILDINFO check (check_build_info.cmake) passes the BUILDINFO the build wrote, and fails it
# once any one fact in it is not what the build used: a check that cannot fail proves nothing.
#
#   cmake -DFILE=<the built BUILDINFO> "-DTITLE=<its first line, without ': what built it'>"
#         -DSOURCE_DIR=<repo> "-DLINKS=<link.txt>" -DCOMPILER_VERSION=19.1.7 -DWORK=dir
#         -P check_build_info_test.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "BUILDINFO check test: ${message}")
endfunction()

file(READ "${FILE}" real)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# <what>|<line ends>|<regular expression>|<its replacement>|<what the check must then say>; an
# empty expression leaves the text as the build wrote it, which with Windows line ends must pass.
set(rows
    "as built|CRLF|||"
    "another title|CRLF|^Fraywick [^ ]+ |Fraywick 0.0.1 |begins 'Fraywick 0.0.1 "
    "another commit|CRLF|Commit: [0-9a-f]+|Commit: 0123456789abcdef0123456789abcdef01234567|names the commit"
    "another distribution|CRLF|Distribution: [^\n]+|Distribution: Debian GNU/Linux 99 (nowhere)|/etc/os-release says"
    "another compiler package|CRLF|Compiler: [^ ]+ [^ ]+|Compiler: clang-99 1:99.0.0-1|names the Compiler"
    "another linker version|CRLF|(Linker: [^ ]+) [^ ]+|\\1 1:0.0.1-1|names the Linker"
    "a runtime left out|CRLF|Runtime: gcc[^\n]+\n||names the Runtime"
    "no headers|CRLF|Headers: [^\n]+\n||has no Headers line"
    "a part without a package|CRLF|(Tools: )[^ ]+ [^ ]+ |\\1|names no package and version"
    "Unix line ends|LF|||line ends")
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 what)
  list(GET row 1 line_ends)
  list(GET row 2 expression)
  list(GET row 3 replacement)
  list(GET row 4 says)
  set(text "${real}")
  if(NOT expression STREQUAL "")
    string(REGEX REPLACE "${expression}" "${replacement}" text "${real}")
    if(text STREQUAL real)
      fail("${what}: '${expression}' changes nothing in ${FILE}")
    endif()
  endif()
  # file(READ) gave the text without its carriage returns; they are put back, or left out.
  set(variant "${WORK}/BUILDINFO.txt")
  file(WRITE "${WORK}/lf.txt" "${text}")
  configure_file("${WORK}/lf.txt" "${variant}" @ONLY NEWLINE_STYLE ${line_ends})
  execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${variant} "-DTITLE=${TITLE}: what built it"
                          -DSOURCE_DIR=${SOURCE_DIR} "-DLINKS=${LINKS}"
                          -DCOMPILER_VERSION=${COMPILER_VERSION}
                          -P ${CMAKE_CURRENT_LIST_DIR}/check_build_info.cmake
                  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  string(REGEX REPLACE "\n +" " " out "${out}")
  if(says STREQUAL "")
    if(NOT status EQUAL 0)
      fail("${what}: the check fails the BUILDINFO the build wrote: ${out}")
    endif()
  elseif(status EQUAL 0)
    fail("${what}: the check passes it")
  else()
    string(FIND "${out}" "${says}" at)
    if(at LESS 0)
      fail("${what}: the check fails it without saying '${says}': ${out}")
    endif()
  endif()
endforeach()
list(LENGTH rows count)
message(STATUS "BUILDINFO check test: ${count} rows")
