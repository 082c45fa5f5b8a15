# Checks a zip's BUILDINFO text against what the build really used, each fact read here, never
# taken from the values that wrote the file: the commit and whether it had changes, from git; the
# distribution, from /etc/os-release; and the Debian package, with its version, of the compiler,
# the linker and the runtime libraries named in the link command of each module in the zip, from
# dpkg. Also its title and its Windows line ends.
#
#   cmake -DFILE=<Fraywick-BUILDINFO.txt> "-DTITLE=<its first line>" -DSOURCE_DIR=<repo>
#         "-DLINKS=<link.txt of each module>;..." -DCOMPILER_VERSION=19.1.7
#         -P check_build_info.cmake
#
# A link.txt is where the Makefile generator (the presets') keeps the command that links a
# target: the one source that names the compiler, linker and runtime that made the module.
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "BUILDINFO check: ${message}")
endfunction()

foreach(required FILE TITLE SOURCE_DIR LINKS COMPILER_VERSION)
  if(NOT DEFINED ${required})
    fail("-D${required}=... is required")
  endif()
endforeach()
get_filename_component(name "${FILE}" NAME)
if(NOT EXISTS "${FILE}")
  fail("there is no ${FILE}")
endif()

# "clang-16 1:16.0.6-15~deb12u1": the package that installed FILE, and its version.
function(package_of file out)
  file(REAL_PATH "${file}" real)
  foreach(path IN ITEMS "${real}" "${file}")
    execute_process(COMMAND dpkg-query --search "${path}" OUTPUT_VARIABLE owners
                    RESULT_VARIABLE status ERROR_QUIET)
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
  fail("no Debian package installed ${file}, which the build used")
endfunction()

# --- line ends: all Windows ones (file(READ) as text would drop the carriage returns) ---
file(READ "${FILE}" bytes HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
string(REGEX MATCHALL "0d 0a " crlf "${bytes}")
string(REGEX MATCHALL "0a " lf "${bytes}")
list(LENGTH crlf crlf_count)
list(LENGTH lf lf_count)
if(crlf_count EQUAL 0 OR NOT crlf_count EQUAL lf_count)
  fail("${name} has ${lf_count} line ends, ${crlf_count} of them Windows ones: not all")
endif()

# --- its lines: the title, then "Label: value" ---
file(STRINGS "${FILE}" lines)
list(TRANSFORM lines REPLACE "\r$" "")
list(GET lines 0 title)
if(NOT title STREQUAL TITLE)
  fail("${name} begins '${title}', not '${TITLE}'")
endif()
set(labels)
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z]+): (.*)$")
    set(label "${CMAKE_MATCH_1}")
    set(value "${CMAKE_MATCH_2}")
    list(APPEND labels "${label}")
    if(label MATCHES "^(Commit|Distribution)$")
      set(build_${label} "${value}")
    # "clang-16 1:16.0.6-15~deb12u1 (Debian clang version 16.0.6 (15~deb12u1))"
    elseif(value MATCHES "^([a-z0-9][a-z0-9.+-]+ [0-9][A-Za-z0-9.+~:-]*) \\((.+)\\)$")
      list(APPEND packages_${label} "${CMAKE_MATCH_1}")
      list(APPEND about_${label} "${CMAKE_MATCH_2}")
    else()
      fail("${name}'s line '${line}' names no package and version")
    endif()
  endif()
endforeach()
foreach(needed Commit Distribution Compiler Linker Headers Runtime)
  if(NOT needed IN_LIST labels)
    fail("${name} has no ${needed} line")
  endif()
endforeach()

# --- the commit, from git ---
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse -q --verify "HEAD^{commit}"
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(commit STREQUAL "")
  set(commit "none (not built from a git checkout)")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit ", with changes not committed")
  endif()
endif()
if(NOT build_Commit STREQUAL commit)
  fail("${name} names the commit '${build_Commit}'; the checkout is at '${commit}'")
endif()

# --- the distribution, from the machine's own /etc/os-release ---
file(STRINGS /etc/os-release pretty REGEX "^PRETTY_NAME=")
string(REGEX REPLACE "^PRETTY_NAME=\"?([^\"]*)\"?$" "\\1" pretty "${pretty}")
if(NOT build_Distribution STREQUAL pretty)
  fail("${name} names the distribution '${build_Distribution}'; /etc/os-release says "
       "'${pretty}'")
endif()

# --- compiler, linker and runtime, from the command that linked each module ---
set(used_Compiler)
set(used_Linker)
set(used_Runtime)
foreach(link IN LISTS LINKS)
  if(NOT EXISTS "${link}")
    fail("there is no link command at ${link}")
  endif()
  file(STRINGS "${link}" commands REGEX " -o ")
  list(GET commands -1 command)
  separate_arguments(words UNIX_COMMAND "${command}")
  set(compiler)
  foreach(word IN LISTS words)
    if(NOT compiler AND word MATCHES "^/")
      set(compiler "${word}")
      package_of("${compiler}" package)
      list(APPEND used_Compiler "${package}")
    elseif(word MATCHES "^--ld-path=(.+)$")
      package_of("${CMAKE_MATCH_1}" package)
      list(APPEND used_Linker "${package}")
    elseif(word MATCHES "^-L(.+)$")
      set(folder "${CMAKE_MATCH_1}")
      if(EXISTS "${folder}/libstdc++.a")
        foreach(library libstdc++.a libgcc.a)
          package_of("${folder}/${library}" package)
          list(APPEND used_Runtime "${package}")
        endforeach()
      endif()
    endif()
  endforeach()
endforeach()
foreach(label Compiler Linker Runtime)
  set(named ${packages_${label}})
  list(REMOVE_DUPLICATES named)
  list(REMOVE_DUPLICATES used_${label})
  list(SORT named)
  list(SORT used_${label})
  if(NOT named STREQUAL used_${label})
    fail("${name} names the ${label} [${named}]; the modules were linked with "
         "[${used_${label}}]")
  endif()
endforeach()
foreach(about IN LISTS about_Compiler)
  string(FIND "${about}" " version ${COMPILER_VERSION}" at)
  if(at LESS 0)
    fail("${name}'s compiler is '${about}', not the ${COMPILER_VERSION} that built it")
  endif()
endforeach()
