# The script hook's nine functions are written down once, in src/host/hook.h: each declaration
# carries its own name and the decorated name the hook exports it by, in
# FRAYWICK_HOOK_NAME(plain, "decorated"). Everything
# else that needs those names reads them from there through this file: the .def files of the
# plug-in's import library and of the hook double (written at configure time, and again whenever
# hook.h changes), the import check and the test that decodes the names.

# Reads the declarations of `header`. Sets `<prefix>_NAMES` to the decorated names and
# `<prefix>_DECLARATIONS` to the C++ declarations they are bound to (one line each, without the
# import macro), in the order of the header.
function(fraywick_read_hook_functions header prefix)
  file(READ "${header}" text)
  # Comments and preprocessor lines would otherwise match: they mention the macros too.
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "\n" text "${text}")
  # Up to the ';' that ends each declaration, which would split a CMake list.
  string(REGEX MATCHALL "FRAYWICK_HOOK_IMPORT[^;]*" found "${text}")
  set(names)
  set(declarations)
  foreach(item IN LISTS found)
    if(NOT item MATCHES
       "^FRAYWICK_HOOK_IMPORT([^\"]*)FRAYWICK_HOOK_NAME\\(([A-Za-z0-9_]+), *\"([^\"]+)\"\\)[ \t\n]*$")
      message(FATAL_ERROR "${header}: a hook declaration without its decorated name: ${item}")
    endif()
    set(name "${CMAKE_MATCH_3}")
    set(plain "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "[ \t\n]+" " " declaration "${CMAKE_MATCH_1}")
    string(STRIP "${declaration}" declaration)
    if(NOT declaration MATCHES "[ *]${plain} ?\\(")
      message(FATAL_ERROR "${header}: FRAYWICK_HOOK_NAME(${plain}, ...) stands on '${declaration}'")
    endif()
    list(APPEND names "${name}")
    list(APPEND declarations "${declaration}")
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${header}: no FRAYWICK_HOOK_NAME(plain, \"...\") declarations found")
  endif()
  set(${prefix}_NAMES "${names}" PARENT_SCOPE)
  set(${prefix}_DECLARATIONS "${declarations}" PARENT_SCOPE)
endfunction()

# Writes a module-definition file that exports (or, for dlltool, imports) the hook's names under
# the DLL name of the real hook. Rewritten only when its text changes, so an unrelated edit of
# hook.h relinks nothing; hook.h itself becomes a configure dependency.
function(fraywick_write_hook_def header output)
  fraywick_read_hook_functions("${header}" hook)
  set(text "; Generated from src/host/hook.h by cmake/HookNames.cmake; do not edit.\n")
  string(APPEND text "LIBRARY ScriptHookRDR2.dll\nEXPORTS\n")
  foreach(name IN LISTS hook_NAMES)
    string(APPEND text "  ${name}\n")
  endforeach()
  set(old "")
  if(EXISTS "${output}")
    file(READ "${output}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${output}" "${text}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
endfunction()
