# Writes DIR/SHA256SUMS: the SHA-256 of every other file in DIR, one "<hash>  <name>" line each,
# sorted by name, in the format `sha256sum -c SHA256SUMS` checks.
#
#   cmake -DDIR=<dist> -P sums.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT IS_DIRECTORY "${DIR}")
  message(FATAL_ERROR "sums: -DDIR=<a folder> is required")
endif()
file(REAL_PATH "${DIR}" DIR)
file(REMOVE "${DIR}/SHA256SUMS")
file(GLOB names RELATIVE "${DIR}" LIST_DIRECTORIES false "${DIR}/*")
list(SORT names)
set(text "")
foreach(name IN LISTS names)
  file(SHA256 "${DIR}/${name}" hash)
  string(APPEND text "${hash}  ${name}\n")
endforeach()
file(WRITE "${DIR}/SHA256SUMS" "${text}")
list(LENGTH names count)
message(STATUS "${DIR}/SHA256SUMS: ${count} files")
