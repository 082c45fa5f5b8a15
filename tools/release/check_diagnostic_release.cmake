# Checks the diagnostic release: Fraywick-<version>-diagnostic.zip, named by the version in words
# that this check works out from git, holds exactly its files, in a fixed order with one time; the
# diagnostic build and its PDB as built, the PDB the one the module names (by GUID and age); the
# version resources of the module and of Fraywick-explain.exe; a readme of this version that tells a player when to use it, never beside
# Fraywick.asi, where the recordings appear, which to send after a crash, how big they get and
# what to send; a BUILDINFO that names what really built the module and the program; and the
# licence.
#
#   cmake -DDIST_DIR=<dist> -DVERSION=<project()'s, 1.2.3> -DSOURCE_DIR=<repo> -DPLUGIN=...
#         -DPDB=... -DLINKS=<link.txt of each module> -DOBJDUMP=... -DLLVM_BIN=...
#         -DCOMPILER_VERSION=19.1.7 -DWORK=dir -P check_diagnostic_release.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "diagnostic release check: ${message}")
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/zip_checks.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/packed_module.cmake)

expected_version_in_words(${VERSION} "${SOURCE_DIR}" WORDS)
set(ZIP "${DIST_DIR}/Fraywick-${WORDS}-diagnostic.zip")
if(NOT EXISTS "${ZIP}")
  file(GLOB made RELATIVE "${DIST_DIR}" "${DIST_DIR}/*")
  fail("there is no Fraywick-${WORDS}-diagnostic.zip, the name of this commit's diagnostic "
       "release; dist holds [${made}]")
endif()

set(entries
    Fraywick-diag.asi
    Fraywick-diag.pdb
    Fraywick-explain.exe
    Fraywick-diag-README.txt
    Fraywick-diag-BUILDINFO.txt
    Fraywick-LICENSE.txt)
check_zip_entries("${ZIP}" "${WORK}" "${entries}")
check_packed_module("${WORK}" Fraywick-diag.asi "${PLUGIN}" "${PDB}" "${LLVM_BIN}")
check_version_resource("${WORK}/Fraywick-diag.asi" ${VERSION} "${WORDS}" Fraywick-diag.asi
                       "${OBJDUMP}")
check_version_resource("${WORK}/Fraywick-explain.exe" ${VERSION} "${WORDS}" Fraywick-explain.exe
                       "${OBJDUMP}")

check_names_version("${WORK}/Fraywick-diag-README.txt" "${WORDS}")
file(READ "${WORK}/Fraywick-diag-README.txt" readme)
foreach(needed "diagnostic build" "WHEN TO USE IT" "NEVER BOTH AT ONCE" "Fraywick-recording.txt"
               "Fraywick-recording-1.txt" "AFTER A CRASH" "HOW BIG IT GETS" "MiB"
               "WHAT TO SEND" "Fraywick-diag.pdb")
  string(FIND "${readme}" "${needed}" at)
  if(at LESS 0)
    fail("Fraywick-diag-README.txt does not mention '${needed}'")
  endif()
endforeach()

check_build_info("${WORK}/Fraywick-diag-BUILDINFO.txt"
                 "Fraywick ${WORDS}, diagnostic build, for Windows x64: what built it")
check_licence("${WORK}" "${SOURCE_DIR}")

message(STATUS "diagnostic release check: Fraywick-${WORDS}-diagnostic.zip holds [${entries}]")
