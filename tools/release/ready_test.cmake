# What `make release` refuses (ready.cmake): first the decision, row by row; then the facts it is
# made from and the version in words, on a throwaway git repository taken through a commit with
# changes, a tag, an undated and a dated CHANGELOG.md and a second tag. The two ways of working
# out the version in words (cmake/Version.cmake for the build, zip_checks.cmake for the release
# checks) must agree at every step.
#
#   cmake -DWORK=dir -P ready_test.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "release refusal test: ${message}")
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/ready.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/zip_checks.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/Version.cmake)

# <what>|<commit>|<changes>|<tags at HEAD>|<CHANGELOG.md's headings>|<what the refusal says>;
# lists within a column are separated by commas, and an empty refusal lets the release through.
set(dated "## Unreleased,## 1.2.0 - 2026-12-10,## 1.1.0")
set(rows
    "a commit in between|c0ffee|||## Unreleased,## 1.1.0|"
    "a commit in between with no section|c0ffee||||"
    "not a checkout||||${dated}|not a git checkout"
    "changes not committed|c0ffee|src/a.cpp||${dated}|changes not committed (src/a.cpp)"
    "changes in many files|c0ffee|a,b,c,d||${dated}|(a, b, c and 1 more)"
    "changes at the tag|c0ffee|CHANGELOG.md|v1.2.0|${dated}|changes not committed"
    "the release, dated|c0ffee||v1.2.0|${dated}|"
    "the release, undated|c0ffee||v1.2.0|## Unreleased,## 1.2.0,## 1.1.0|section '## 1.2.0' is not dated"
    "the release, dated with words|c0ffee||v1.2.0|## 1.2.0 (December 2026)|section '## 1.2.0 (December 2026)' is not dated"
    "the release, a month 13|c0ffee||v1.2.0|## 1.2.0 - 2026-13-10|is not dated"
    "the release, no section|c0ffee||v1.2.0|## Unreleased,## 1.1.0|no section '## 1.2.0 - YYYY-MM-DD'"
    "the release, another version's section|c0ffee||v1.2.0|## 1.2.01 - 2026-12-10|no section"
    "a tag of another version|c0ffee||v1.2.1|${dated}|HEAD is tagged v1.2.1, but project()"
    "a second tag of another version|c0ffee||v1.2.0,v1.3.0|${dated}|HEAD is tagged v1.3.0")
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 what)
  list(GET row 1 commit)
  list(GET row 2 changes)
  list(GET row 3 tags)
  list(GET row 4 headings)
  list(GET row 5 says)
  string(REPLACE "," ";" changes "${changes}")
  string(REPLACE "," ";" tags "${tags}")
  string(REPLACE "," ";" headings "${headings}")
  fraywick_release_refusal(refusal VERSION 1.2.0 COMMIT "${commit}" CHANGES ${changes}
                           TAGS ${tags} HEADINGS ${headings})
  if(says STREQUAL "" AND NOT refusal STREQUAL "")
    fail("${what}: refused with '${refusal}'")
  elseif(NOT says STREQUAL "")
    string(FIND "${refusal}" "${says}" at)
    if(at LESS 0)
      fail("${what}: '${refusal}', which does not say '${says}'")
    endif()
  endif()
endforeach()

# --- the same through git, with the script as `make release` runs it ---
set(repo "${WORK}/repo")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${repo}")
# The folder lies inside this checkout's build folder: git must not find this checkout from it.
set(ENV{GIT_CEILING_DIRECTORIES} "${WORK}")
string(REPEAT "[0-9a-f]" 12 hex)
set(dev "1\\.2\\.0-dev\\+${hex}")
set(git git -C "${repo}" -c user.name=test -c user.email=test@example.invalid -c tag.gpgSign=false
        -c commit.gpgSign=false)
function(run)
  execute_process(COMMAND ${git} ${ARGN} OUTPUT_QUIET ERROR_VARIABLE error RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("git ${ARGN}: ${error}")
  endif()
endfunction()
# step: the refusal the script prints (empty: none) and the version in words, at that moment.
function(expect step says words)
  execute_process(COMMAND ${CMAKE_COMMAND} -DVERSION=1.2.0 -DSOURCE_DIR=${repo}
                          -P ${CMAKE_CURRENT_LIST_DIR}/ready.cmake
                  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  string(STRIP "${out}" out)
  if(NOT status EQUAL 0)
    fail("${step}: ready.cmake failed: ${out}")
  elseif(says STREQUAL "" AND NOT out STREQUAL "")
    fail("${step}: refused with '${out}'")
  elseif(NOT says STREQUAL "")
    string(FIND "${out}" "${says}" at)
    if(at LESS 0 OR out MATCHES "\n")
      fail("${step}: '${out}' is not one line saying '${says}'")
    endif()
  endif()
  fraywick_version_in_words(1.2.0 "${repo}" built commit files)
  expected_version_in_words(1.2.0 "${repo}" checked)
  if(NOT built MATCHES "^${words}$" OR NOT checked STREQUAL built)
    fail("${step}: the build says version '${built}', the release check '${checked}'; "
         "expected '${words}'")
  endif()
endfunction()

expect("outside git" "not a git checkout" "1\\.2\\.0-dev\\+unknown")
run(init -q)
file(WRITE "${repo}/CHANGELOG.md" "# Changelog\n\n## 1.2.0\n\n- one\n")
run(add CHANGELOG.md)
run(commit -q -m one)
expect("a commit" "" "${dev}")
file(WRITE "${repo}/untracked.txt" "not part of it\n")
expect("a file git does not track" "" "${dev}")
file(APPEND "${repo}/CHANGELOG.md" "- two\n")
expect("a change not committed" "changes not committed (CHANGELOG.md)" "${dev}")
run(commit -q -a -m two)
run(tag v1.2.0)
expect("the tag on an undated section" "section '## 1.2.0' is not dated" "1\\.2\\.0")
file(WRITE "${repo}/CHANGELOG.md" "# Changelog\n\n## 1.2.0 - 2026-12-10\n\n- one\n- two\n")
run(commit -q -a -m dated)
expect("a commit after the tag" "" "${dev}")
run(tag -f -a -m "the release" v1.2.0)
expect("the tag moved to the dated section" "" "1\\.2\\.0")
run(tag v1.3.0)
expect("a second tag" "HEAD is tagged v1.3.0" "1\\.2\\.0")

list(LENGTH rows count)
message(STATUS "release refusal test: ${count} rows, 9 steps through git")
