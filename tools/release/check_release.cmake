# Checks the release: Fraywick-<version>.zip, named by the version in words that this check works
# out from git, holds exactly its six files, in a fixed order with one time; the plug-in and its
# PDB as built, and the PDB the one the plug-in names; the settings file with its one setting off;
# a readme of this version; a BUILDINFO that names what really built the plug-in
# (check_build_info.cmake); the licence; the version in the plug-in's version resource, where the
# file's properties show it; and SHA256SUMS beside the zip, naming every file there.
#
#   cmake -DDIST_DIR=<dist> -DVERSION=<project()'s, 1.2.3> -DSOURCE_DIR=<repo> -DPLUGIN=...
#         -DPDB=... -DLINKS=<link.txt> -DOBJDUMP=... -DLLVM_BIN=... -DCOMPILER_VERSION=19.1.7
#         -DWORK=dir -P check_release.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "release check: ${message}")
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/zip_checks.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/packed_module.cmake)

# --- the zip, by the name the commit gives it ---
expected_version_in_words(${VERSION} "${SOURCE_DIR}" WORDS)
set(ZIP "${DIST_DIR}/Fraywick-${WORDS}.zip")
if(NOT EXISTS "${ZIP}")
  file(GLOB made RELATIVE "${DIST_DIR}" "${DIST_DIR}/*")
  fail("there is no Fraywick-${WORDS}.zip, the name of this commit's release; dist holds [${made}]")
endif()

# --- its contents, at its root, in their order, all with one time ---
set(entries
    Fraywick.asi
    Fraywick.pdb
    Fraywick.ini
    Fraywick-README.txt
    Fraywick-BUILDINFO.txt
    Fraywick-LICENSE.txt)
check_zip_entries("${ZIP}" "${WORK}" "${entries}")

# --- the plug-in and its PDB as built, the PDB the one the plug-in names ---
check_packed_module("${WORK}" Fraywick.asi "${PLUGIN}" "${PDB}" "${LLVM_BIN}")

# --- SHA256SUMS beside the zip: every file of the folder, each hash right ---
set(dist "${DIST_DIR}")
if(NOT EXISTS "${dist}/SHA256SUMS")
  fail("there is no SHA256SUMS beside ${ZIP}")
endif()
file(GLOB shipped RELATIVE "${dist}" LIST_DIRECTORIES false "${dist}/*")
list(REMOVE_ITEM shipped SHA256SUMS)
file(STRINGS "${dist}/SHA256SUMS" sums)
set(summed)
foreach(line IN LISTS sums)
  if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
    fail("SHA256SUMS has a line that is not '<hash>  <file>': '${line}'")
  endif()
  set(name "${CMAKE_MATCH_2}")
  set(hash "${CMAKE_MATCH_1}")
  if(NOT EXISTS "${dist}/${name}")
    fail("SHA256SUMS names ${name}, which is not there")
  endif()
  file(SHA256 "${dist}/${name}" actual)
  if(NOT actual STREQUAL hash)
    fail("SHA256SUMS gives ${name} the hash ${hash}; it is ${actual}")
  endif()
  list(APPEND summed "${name}")
endforeach()
list(SORT shipped)
list(SORT summed)
if(NOT summed STREQUAL shipped)
  fail("SHA256SUMS covers [${summed}], the folder holds [${shipped}]")
endif()

# --- the settings file: commented, its one setting off ---
# Read by hand: a ';' would split a line of a CMake list in two.
file(READ "${WORK}/Fraywick.ini" ini_text)
string(REPLACE ";" "<semicolon>" ini_text "${ini_text}")
string(REPLACE "\n" ";" ini_lines "${ini_text}")
set(section "")
set(setting "")
set(comments 0)
foreach(line IN LISTS ini_lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^<semicolon>")
    math(EXPR comments "${comments} + 1")
  elseif(line MATCHES "^\\[(.*)\\]$")
    set(section "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^FemaleBrawlers=(.*)$")
    if(NOT section STREQUAL "Fraywick")
      fail("FemaleBrawlers stands in section [${section}], not [Fraywick]")
    endif()
    set(setting "${CMAKE_MATCH_1}")
  elseif(NOT line STREQUAL "")
    fail("Fraywick.ini has a line that is neither a comment nor the setting: '${line}'")
  endif()
endforeach()
if(NOT setting STREQUAL "0")
  fail("Fraywick.ini must ship with FemaleBrawlers=0, has '${setting}'")
endif()
if(comments LESS 5)
  fail("Fraywick.ini should explain itself in comments; it has ${comments} comment lines")
endif()

# --- the readme: this version, and the things a player needs to know ---
check_names_version("${WORK}/Fraywick-README.txt" "${WORDS}")
file(READ "${WORK}/Fraywick-README.txt" readme)
foreach(needed "INSTALLING" "UNINSTALLING" "FemaleBrawlers" "ScriptHookRDR2.dll" "Fraywick.pdb"
               "once per launch of the game" "working directory")
  string(FIND "${readme}" "${needed}" at)
  if(at LESS 0)
    fail("Fraywick-README.txt does not mention '${needed}'")
  endif()
endforeach()

# --- what built it, the licence, and the version the file's properties show ---
check_build_info("${WORK}/Fraywick-BUILDINFO.txt"
                 "Fraywick ${WORDS} for Windows x64: what built it")
check_licence("${WORK}" "${SOURCE_DIR}")
check_version_resource("${WORK}/Fraywick.asi" ${VERSION} "${WORDS}" Fraywick.asi "${OBJDUMP}")

message(STATUS "release check: Fraywick-${WORDS}.zip holds Fraywick.asi with its Fraywick.pdb, "
               "Fraywick.ini, Fraywick-README.txt, Fraywick-BUILDINFO.txt and "
               "Fraywick-LICENSE.txt; SHA256SUMS covers ${shipped}")
