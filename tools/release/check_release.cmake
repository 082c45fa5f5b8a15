# Checks the release: the zip holds exactly the four files a player copies into the game folder,
# in a fixed order with one fixed time; the plug-in and its PDB as built, and the PDB the one the
# plug-in names; the settings file with its one setting off; a readme of this version; the
# version in the plug-in's version resource, where the file's properties show it; and SHA256SUMS
# beside the zip, naming every file there.
#
#   cmake -DZIP=... -DPLUGIN=... -DPDB=... -DVERSION=1.2.3 -DOBJDUMP=... -DLLVM_BIN=...
#         -DWORK=dir -P check_release.cmake

function(fail message)
  message(FATAL_ERROR "release check: ${message}")
endfunction()

if(NOT EXISTS "${ZIP}")
  fail("${ZIP} was not made")
endif()

# --- the zip's contents, at its root, in their order, all with one time ---
set(expected_entries "Fraywick.asi;Fraywick.pdb;Fraywick.ini;README.txt")
file(REMOVE_RECURSE "${WORK}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK}")
file(GLOB_RECURSE entries RELATIVE "${WORK}" LIST_DIRECTORIES true "${WORK}/*")
set(sorted_expected ${expected_entries})
list(SORT entries)
list(SORT sorted_expected)
if(NOT entries STREQUAL sorted_expected)
  fail("the zip holds [${entries}], not [${sorted_expected}]")
endif()
# "-rw-r--r--  0 0      0     1009152  8 Dec 00:53 Fraywick.asi", in the zip's own order
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tvf "${ZIP}" OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "[^\n]+" listing "${listing}")
set(order)
set(times)
foreach(line IN LISTS listing)
  if(line MATCHES "([^ ]+ +[^ ]+ +[^ ]+) +([^ ]+)$")
    list(APPEND times "${CMAKE_MATCH_1}")
    list(APPEND order "${CMAKE_MATCH_2}")
  endif()
endforeach()
if(NOT order STREQUAL expected_entries)
  fail("the zip's entries stand in the order [${order}], not [${expected_entries}]")
endif()
list(REMOVE_DUPLICATES times)
list(LENGTH times time_count)
if(NOT time_count EQUAL 1)
  fail("the zip's entries carry different times [${times}]: the times of the build, not one")
endif()

foreach(pair "Fraywick.asi=${PLUGIN}" "Fraywick.pdb=${PDB}")
  string(REGEX MATCH "^([^=]+)=(.*)$" pair "${pair}")
  file(SHA256 "${WORK}/${CMAKE_MATCH_1}" packed)
  file(SHA256 "${CMAKE_MATCH_2}" built)
  if(NOT packed STREQUAL built)
    fail("the zip's ${CMAKE_MATCH_1} is not the one built at ${CMAKE_MATCH_2}")
  endif()
endforeach()

# --- the PDB is the one the plug-in names, so crash loggers and debuggers take it ---
execute_process(
  COMMAND ${CMAKE_COMMAND} -DREADOBJ=${LLVM_BIN}/llvm-readobj -DPDBUTIL=${LLVM_BIN}/llvm-pdbutil
          -DMODULE=${WORK}/Fraywick.asi -DPDB=${WORK}/Fraywick.pdb
          -P ${CMAKE_CURRENT_LIST_DIR}/../../cmake/CheckPluginSymbols.cmake
  OUTPUT_VARIABLE symbols ERROR_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("the zip's Fraywick.pdb does not serve its Fraywick.asi: ${symbols}")
endif()

# --- SHA256SUMS beside the zip: every file of the folder, each hash right ---
file(REAL_PATH "${ZIP}" zip_path)
cmake_path(GET zip_path PARENT_PATH dist)
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
file(READ "${WORK}/README.txt" readme)
foreach(needed "Fraywick ${VERSION}" "INSTALLING" "UNINSTALLING" "FemaleBrawlers"
               "ScriptHookRDR2.dll" "Fraywick.pdb" "once per launch of the game"
               "working directory")
  string(FIND "${readme}" "${needed}" at)
  if(at LESS 0)
    fail("README.txt does not mention '${needed}'")
  endif()
endforeach()

# --- the version resource inside the plug-in's .rsrc section ---
execute_process(COMMAND "${OBJDUMP}" -h "${WORK}/Fraywick.asi" OUTPUT_VARIABLE headers
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("${OBJDUMP} could not read Fraywick.asi")
endif()
# "  5 .rsrc  000004e8  0000000354a0c000  0000000354a0c000  00035c00  2**2"
if(NOT headers MATCHES "\\.rsrc +([0-9a-f]+) +[0-9a-f]+ +[0-9a-f]+ +([0-9a-f]+)")
  fail("Fraywick.asi has no resource section, so no version resource")
endif()
math(EXPR rsrc_size "0x${CMAKE_MATCH_1}")
math(EXPR rsrc_offset "0x${CMAKE_MATCH_2}")
file(READ "${WORK}/Fraywick.asi" rsrc OFFSET ${rsrc_offset} LIMIT ${rsrc_size} HEX)

# The fixed part: signature 0xFEEF04BD, structure version 1.0, then the file and the product
# version, each as two 32-bit words (major << 16 | minor, patch << 16 | 0), little-endian.
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
function(le32 high low out)
  math(EXPR value "(${high} << 16) | ${low}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" value "${value}")
  string(LENGTH "${value}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(value "${zeros}${value}")
  string(SUBSTRING "${value}" 6 2 b0)
  string(SUBSTRING "${value}" 4 2 b1)
  string(SUBSTRING "${value}" 2 2 b2)
  string(SUBSTRING "${value}" 0 2 b3)
  string(TOLOWER "${b0}${b1}${b2}${b3}" bytes)
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()
le32(${major} ${minor} ms)
le32(${patch} 0 ls)
set(fixed "bd04effe00000100${ms}${ls}${ms}${ls}")
string(FIND "${rsrc}" "${fixed}" at)
if(at LESS 0)
  fail("no version resource with file and product version ${VERSION}.0 in Fraywick.asi")
endif()

# The strings the Details tab shows: UTF-16LE key, its terminator, padding, then the value.
function(utf16 text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
utf16("${VERSION}" version16)
foreach(key FileVersion ProductVersion)
  utf16("${key}" key16)
  if(NOT rsrc MATCHES "${key16}0000(0000)?${version16}0000")
    fail("the version resource's ${key} is not \"${VERSION}\"")
  endif()
endforeach()
utf16("Fraywick.asi" name16)
string(FIND "${rsrc}" "${name16}" at)
if(at LESS 0)
  fail("the version resource does not name the file Fraywick.asi")
endif()

message(STATUS "release check: ${ZIP} holds Fraywick.asi ${VERSION} with its Fraywick.pdb, "
               "Fraywick.ini and README.txt; SHA256SUMS covers ${shipped}")
