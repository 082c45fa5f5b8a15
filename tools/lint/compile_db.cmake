# The native build's compilation database, made fit for clang-tidy: one entry per file of src/
# (the plug-in's sources are compiled twice there, for the library and for the module, and
# clang-tidy would check each twice), without the g++-only flags clang rejects.
#
#   cmake -DIN=build/native/compile_commands.json -DOUT=build/lint/compile_commands.json
#         -DSOURCE_DIR=<repo> -P compile_db.cmake
cmake_minimum_required(VERSION 3.25)

set(gcc_only_flags -fno-gnu-unique)

file(READ "${IN}" database)
string(JSON count LENGTH "${database}")
math(EXPR last "${count} - 1")
set(out "[]")
set(seen)
set(kept 0)
foreach(index RANGE ${last})
  string(JSON file GET "${database}" ${index} file)
  if(NOT file MATCHES "^${SOURCE_DIR}/src/" OR file IN_LIST seen)
    continue()
  endif()
  list(APPEND seen "${file}")
  string(JSON entry GET "${database}" ${index})
  string(JSON command GET "${entry}" command)
  foreach(flag IN LISTS gcc_only_flags)
    string(REPLACE " ${flag}" "" command "${command}")
  endforeach()
  string(REPLACE "\\" "\\\\" command "${command}")
  string(REPLACE "\"" "\\\"" command "${command}")
  string(JSON entry SET "${entry}" command "\"${command}\"")
  string(JSON out SET "${out}" ${kept} "${entry}")
  math(EXPR kept "${kept} + 1")
endforeach()
file(WRITE "${OUT}" "${out}\n")
