# What `make release` asks of the checkout before it builds. It prints nothing when a release may
# be built from it, else one line saying what is missing (on stderr), and `make release` stops.
#
#   cmake -DVERSION=<project()'s version> -DSOURCE_DIR=<repo> -P ready.cmake
#
# `make release` runs the copy that the windows build folder keeps (tools/release/ready.cmake
# there), which knows both. A commit without a release tag builds a release whose version says
# -dev+<commit>; the tag v<VERSION> on it makes it the final release, which needs more. Included
# without VERSION, it only defines the decision, for ready_test.cmake.
cmake_minimum_required(VERSION 3.25)
# COMMIT is empty outside git: CMake 3.31 (Debian 13) warns of an empty single value, on stderr,
# where the refusal is read, unless it is told to keep it as an empty string, as 3.25 does anyway.
if(POLICY CMP0174)
  cmake_policy(SET CMP0174 NEW)
endif()

# fraywick_release_refusal(<out> VERSION <1.2.0> COMMIT <hash, or empty outside git>
#                          CHANGES <paths with changes not committed>... TAGS <v* tags at HEAD>...
#                          HEADINGS <CHANGELOG.md's "## " lines>...)
# <out>: the one line that refuses the release, or empty.
function(fraywick_release_refusal out)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "VERSION;COMMIT" "CHANGES;TAGS;HEADINGS")
  set(${out} "" PARENT_SCOPE)
  set(refused "make release: refused,")
  if("${arg_COMMIT}" STREQUAL "")
    set(${out} "${refused} not a git checkout: a release is built from a commit" PARENT_SCOPE)
    return()
  endif()
  if(arg_CHANGES)
    list(LENGTH arg_CHANGES count)
    list(SUBLIST arg_CHANGES 0 3 named)
    list(JOIN named ", " named)
    if(count GREATER 3)
      math(EXPR more "${count} - 3")
      string(APPEND named " and ${more} more")
    endif()
    set(${out} "${refused} changes not committed (${named}): a release is built from a commit"
        PARENT_SCOPE)
    return()
  endif()
  foreach(tag IN LISTS arg_TAGS)
    if(NOT tag STREQUAL "v${arg_VERSION}")
      set(${out} "${refused} HEAD is tagged ${tag}, but project() in CMakeLists.txt says "
                 "${arg_VERSION}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  if(NOT "v${arg_VERSION}" IN_LIST arg_TAGS)
    return()
  endif()
  # The final release: its CHANGELOG.md section, with the day it was released.
  string(REPLACE "." "\\." version "${arg_VERSION}")
  set(form "'## ${arg_VERSION} - YYYY-MM-DD'")
  set(date "[0-9][0-9][0-9][0-9]-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])")
  foreach(heading IN LISTS arg_HEADINGS)
    if(heading MATCHES "^## ${version}( |$)")
      if(heading MATCHES "^## ${version} - ${date}$")
        return()
      endif()
      set(${out} "${refused} CHANGELOG.md's section '${heading}' is not dated as ${form}"
          PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "${refused} CHANGELOG.md has no section ${form} for the tagged release v${arg_VERSION}"
      PARENT_SCOPE)
endfunction()

if(NOT DEFINED VERSION)
  return()
endif()

# The facts, from git and CHANGELOG.md.
find_package(Git QUIET)
set(commit "")
set(changes)
set(tags)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" rev-parse -q --verify "HEAD^{commit}"
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT commit STREQUAL "")
  # " M CMakeLists.txt": the tracked files with changes; files git does not track are no part of
  # the release.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" status --porcelain
                          --untracked-files=no
                  OUTPUT_VARIABLE status COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" status "${status}")
  foreach(line IN LISTS status)
    string(SUBSTRING "${line}" 3 -1 path)
    list(APPEND changes "${path}")
  endforeach()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" tag --points-at HEAD --list "v*"
                  OUTPUT_VARIABLE tags COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" tags "${tags}")
endif()
set(headings)
if(EXISTS "${SOURCE_DIR}/CHANGELOG.md")
  file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" headings REGEX "^## ")
endif()

fraywick_release_refusal(refusal VERSION "${VERSION}" COMMIT "${commit}" CHANGES ${changes}
                         TAGS ${tags} HEADINGS ${headings})
if(NOT refusal STREQUAL "")
  message(NOTICE "${refusal}")
endif()
