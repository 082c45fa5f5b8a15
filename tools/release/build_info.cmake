# Writes a release zip's BUILDINFO text: a title naming the build and its version, the commit,
# the distribution, and the exact Debian package, with its version, of each tool and library whose
# output is in the zip's bytes, so that anyone with the same packages can build the same bytes
# again. It names nothing of the machine beyond that (no path, no time), so two checkouts of one
# commit write the same file.
#
#   cmake -DOUT=<Fraywick-BUILDINFO.txt> "-DTITLE=Fraywick 1.2.3 for Windows x64"
#         -DSOURCE_DIR=<repo> "-DDIST=Debian GNU/Linux 13 (trixie)"
#         "-DPARTS=<label>|<a file of the part>|<what it is>;..." -P build_info.cmake
#
# Each part's package is the one that installed its file (dpkg); the compiler's and the linker's
# own version lines follow theirs. The file is rewritten only when its text changes.
cmake_minimum_required(VERSION 3.25)

foreach(required OUT TITLE SOURCE_DIR DIST PARTS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "build_info: -D${required}=... is required")
  endif()
endforeach()

function(fail message)
  message(FATAL_ERROR "build_info: ${message}")
endfunction()

# "clang-19 1:19.1.7-3", the package that installed FILE and its version.
function(package_of file out)
  set(candidates "${file}")
  file(REAL_PATH "${file}" real)
  list(APPEND candidates "${real}")
  foreach(path IN LISTS candidates)
    execute_process(COMMAND dpkg-query --search "${path}" OUTPUT_VARIABLE owners
                    RESULT_VARIABLE status ERROR_QUIET)
    # "clang-NN: /usr/lib/llvm-NN/bin/clang"; a diversion line would name two.
    if(status EQUAL 0 AND owners MATCHES "^([^:, ]+)(:[a-z0-9]+)?: ")
      set(package "${CMAKE_MATCH_1}")
      execute_process(COMMAND dpkg-query --show "--showformat=\${Version}" "${package}"
                      OUTPUT_VARIABLE version RESULT_VARIABLE status ERROR_QUIET)
      if(status EQUAL 0 AND NOT version STREQUAL "")
        set(${out} "${package} ${version}" PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  fail("no Debian package installed ${file}: the build information would be incomplete")
endfunction()

# The first line of `TOOL --version`, without the words after the version itself.
function(version_line tool out)
  execute_process(COMMAND "${tool}" --version OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${tool} --version failed")
  endif()
  string(REGEX MATCH "^[^\n]+" line "${text}")
  string(REGEX REPLACE " \\(compatible with GNU linkers\\)$" "" line "${line}")
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse HEAD OUTPUT_VARIABLE commit
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0 OR NOT commit MATCHES "^[0-9a-f]+$")
  set(commit "none (not built from a git checkout)")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit ", with changes not committed")
  endif()
endif()

set(text "${TITLE}: what built it\n\n")
string(APPEND text "Commit: ${commit}\n")
string(APPEND text "Distribution: ${DIST}\n")
foreach(part IN LISTS PARTS)
  if(NOT part MATCHES "^([^|]+)\\|([^|]+)\\|(.*)$")
    fail("a part is '<label>|<file>|<what it is>', not '${part}'")
  endif()
  set(label "${CMAKE_MATCH_1}")
  set(file "${CMAKE_MATCH_2}")
  set(what "${CMAKE_MATCH_3}")
  package_of("${file}" package)
  if(label STREQUAL "Compiler" OR label STREQUAL "Linker")
    version_line("${file}" line)
    set(what "${line}")
  endif()
  string(APPEND text "${label}: ${package} (${what})\n")
endforeach()
string(APPEND text "\nThe same commit built with the same packages gives the same bytes: make release.\n")

# Windows line ends, as the other text files of the zip.
string(REPLACE "\n" "\r\n" text "${text}")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
