# Checks the release zip: exactly the three files a player copies into the game folder, the
# plug-in as built, the settings file with its one setting off, a readme of this version, and
# the version in the plug-in's version resource, where the file's properties show it.
#
#   cmake -DZIP=... -DPLUGIN=... -DVERSION=1.2.3 -DOBJDUMP=... -DWORK=dir -P check_release.cmake

function(fail message)
  message(FATAL_ERROR "release check: ${message}")
endfunction()

if(NOT EXISTS "${ZIP}")
  fail("${ZIP} was not made")
endif()

# --- the zip's contents, at its root ---
file(REMOVE_RECURSE "${WORK}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK}")
file(GLOB_RECURSE entries RELATIVE "${WORK}" LIST_DIRECTORIES true "${WORK}/*")
list(SORT entries)
if(NOT entries STREQUAL "Fraywick.asi;Fraywick.ini;README.txt")
  fail("the zip holds [${entries}], not [Fraywick.asi;Fraywick.ini;README.txt]")
endif()

file(SHA256 "${WORK}/Fraywick.asi" packed)
file(SHA256 "${PLUGIN}" built)
if(NOT packed STREQUAL built)
  fail("the zip's Fraywick.asi is not the one built at ${PLUGIN}")
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

# --- the readme: this version, and the three things a player needs to know ---
file(READ "${WORK}/README.txt" readme)
foreach(needed "Fraywick ${VERSION}" "INSTALLING" "UNINSTALLING" "FemaleBrawlers"
               "ScriptHookRDR2.dll")
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

message(STATUS "release check: ${ZIP} holds Fraywick.asi ${VERSION}, Fraywick.ini, README.txt")
