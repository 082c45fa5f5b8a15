# What both release checks ask of their zip beyond its modules (packed_module.cmake): its name
# and its version resource give the version in words, worked out here from git and not from the
# build; its entries are exactly the expected ones, in their order, with one time; its readme
# names that version; its BUILDINFO names what built it (check_build_info.cmake); the licence is
# the repository's, with Windows line ends. The including script defines fail(message) and the
# variables SOURCE_DIR, LINKS and COMPILER_VERSION that check_build_info.cmake takes.

# The version in words for project()'s NUMERIC version at the checkout's HEAD: NUMERIC when HEAD
# is the tag vNUMERIC, else NUMERIC-dev+<the commit's first 12 hex digits>.
function(expected_version_in_words numeric source_dir out)
  execute_process(COMMAND git -C "${source_dir}" rev-parse -q --verify "HEAD^{commit}"
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(commit STREQUAL "")
    set(${out} "${numeric}-dev+unknown" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND git -C "${source_dir}" describe --exact-match --tags
                          --match "v${numeric}" HEAD
                  OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE not_tagged)
  if(not_tagged EQUAL 0)
    set(${out} "${numeric}" PARENT_SCOPE)
  else()
    string(SUBSTRING "${commit}" 0 12 short)
    set(${out} "${numeric}-dev+${short}" PARENT_SCOPE)
  endif()
endfunction()

# Unpacks ZIP into WORK and checks that it holds exactly ENTRIES, at its root, in that order, all
# with one time (the commit's, not the build's).
function(check_zip_entries zip work entries)
  get_filename_component(zip_name "${zip}" NAME)
  file(REMOVE_RECURSE "${work}")
  file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${work}")
  file(GLOB_RECURSE found RELATIVE "${work}" LIST_DIRECTORIES true "${work}/*")
  set(sorted ${entries})
  list(SORT found)
  list(SORT sorted)
  if(NOT found STREQUAL sorted)
    fail("${zip_name} holds [${found}], not [${sorted}]")
  endif()
  # "-rw-r--r--  0 0      0     1009152  8 Dec 00:53 Fraywick.asi", in the zip's own order
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tvf "${zip}" OUTPUT_VARIABLE listing)
  string(REGEX MATCHALL "[^\n]+" listing "${listing}")
  set(order)
  set(times)
  foreach(line IN LISTS listing)
    if(line MATCHES "([^ ]+ +[^ ]+ +[^ ]+) +([^ ]+)$")
      list(APPEND times "${CMAKE_MATCH_1}")
      list(APPEND order "${CMAKE_MATCH_2}")
    endif()
  endforeach()
  if(NOT order STREQUAL entries)
    fail("${zip_name}'s entries stand in the order [${order}], not [${entries}]")
  endif()
  list(REMOVE_DUPLICATES times)
  list(LENGTH times time_count)
  if(NOT time_count EQUAL 1)
    fail("${zip_name}'s entries carry different times [${times}]: the times of the build, not one")
  endif()
endfunction()

# FILE names "Fraywick WORDS", and not as the start of a longer version (1.2.0 of 1.2.0-dev+...).
function(check_names_version file words)
  get_filename_component(name "${file}" NAME)
  file(READ "${file}" text)
  string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${words}")
  if(NOT text MATCHES "Fraywick ${pattern}([^-+.0-9A-Za-z]|$)")
    fail("${name} does not say 'Fraywick ${words}'")
  endif()
endfunction()

# FILE, a zip's BUILDINFO, begins with TITLE and names what really built the zip's modules.
function(check_build_info file title)
  execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${file} "-DTITLE=${title}"
                          -DSOURCE_DIR=${SOURCE_DIR} "-DLINKS=${LINKS}"
                          -DCOMPILER_VERSION=${COMPILER_VERSION}
                          -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_build_info.cmake
                  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    # Its one message, without CMake's frame and line breaks around it.
    if(out MATCHES "(BUILDINFO check: .*)\nCall Stack")
      string(REGEX REPLACE "\n +" " " out "${CMAKE_MATCH_1}")
    endif()
    string(STRIP "${out}" out)
    fail("${out}")
  endif()
endfunction()

# The bytes of FILE as "xx xx ...", so that a match cannot straddle two bytes.
function(spaced_hex file out)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Fraywick-LICENSE.txt in WORK is the repository's LICENSE, every line end a Windows one.
function(check_licence work source_dir)
  spaced_hex("${work}/Fraywick-LICENSE.txt" packed)
  spaced_hex("${source_dir}/LICENSE" licence)
  string(REGEX MATCHALL "0a " lf "${packed}")
  string(REGEX MATCHALL "0d 0a " crlf "${packed}")
  list(LENGTH lf lf_count)
  list(LENGTH crlf crlf_count)
  string(REPLACE "0d 0a " "0a " packed "${packed}")
  if(NOT packed STREQUAL licence OR lf_count EQUAL 0 OR NOT lf_count EQUAL crlf_count)
    fail("Fraywick-LICENSE.txt is not the repository's LICENSE with Windows line ends")
  endif()
endfunction()

# (high << 16 | low) as 4 little-endian bytes in hex.
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

# TEXT in UTF-16LE, in hex.
function(utf16 text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The version resource of MODULE (its .rsrc section, found by OBJDUMP): file and product version
# NUMERIC.0 as numbers, WORDS as the strings the Details tab shows, and NAME as its file name.
function(check_version_resource module numeric words name objdump)
  execute_process(COMMAND "${objdump}" -h "${module}" OUTPUT_VARIABLE headers
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${objdump} could not read ${name}")
  endif()
  # "  5 .rsrc  000004e8  0000000354a0c000  0000000354a0c000  00035c00  2**2"
  if(NOT headers MATCHES "\\.rsrc +([0-9a-f]+) +[0-9a-f]+ +[0-9a-f]+ +([0-9a-f]+)")
    fail("${name} has no resource section, so no version resource")
  endif()
  math(EXPR rsrc_size "0x${CMAKE_MATCH_1}")
  math(EXPR rsrc_offset "0x${CMAKE_MATCH_2}")
  file(READ "${module}" rsrc OFFSET ${rsrc_offset} LIMIT ${rsrc_size} HEX)

  # The fixed part: signature 0xFEEF04BD, structure version 1.0, then the file and the product
  # version, each as two 32-bit words (major << 16 | minor, patch << 16 | 0), little-endian.
  string(REPLACE "." ";" parts "${numeric}")
  list(GET parts 0 major)
  list(GET parts 1 minor)
  list(GET parts 2 patch)
  le32(${major} ${minor} ms)
  le32(${patch} 0 ls)
  string(FIND "${rsrc}" "bd04effe00000100${ms}${ls}${ms}${ls}" at)
  if(at LESS 0)
    fail("no version resource with file and product version ${numeric}.0 in ${name}")
  endif()

  # The strings: UTF-16LE key, its terminator, padding, then the value.
  foreach(pair "FileVersion=${words}" "ProductVersion=${words}" "OriginalFilename=${name}")
    string(REGEX MATCH "^([^=]+)=(.*)$" pair "${pair}")
    set(key "${CMAKE_MATCH_1}")
    set(value "${CMAKE_MATCH_2}")
    utf16("${key}" key16)
    utf16("${value}" value16)
    if(NOT rsrc MATCHES "${key16}0000(0000)?${value16}0000")
      fail("${name}'s version resource has no ${key} \"${value}\"")
    endif()
  endforeach()
endfunction()
