# Checks the diagnostic release zip: exactly the diagnostic build and its PDB, as built, the PDB
# the one the module names (by GUID and age), and a readme of this version that tells a player
# when to use it, never beside Fraywick.asi, where the recordings appear, which to send after a
# crash, how big they get and what to send.
#
#   cmake -DZIP=... -DPLUGIN=... -DPDB=... -DLLVM_BIN=... -DVERSION=1.2.3 -DWORK=dir
#         -P check_diagnostic_release.cmake

function(fail message)
  message(FATAL_ERROR "diagnostic release check: ${message}")
endfunction()

if(NOT EXISTS "${ZIP}")
  fail("${ZIP} was not made")
endif()
file(REMOVE_RECURSE "${WORK}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK}")
file(GLOB_RECURSE entries RELATIVE "${WORK}" LIST_DIRECTORIES true "${WORK}/*")
list(SORT entries)
if(NOT entries STREQUAL "Fraywick-diag.asi;Fraywick-diag.pdb;README.txt")
  fail("the zip holds [${entries}], not [Fraywick-diag.asi;Fraywick-diag.pdb;README.txt]")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/packed_module.cmake)
check_packed_module("${WORK}" Fraywick-diag.asi "${PLUGIN}" "${PDB}" "${LLVM_BIN}")
file(READ "${WORK}/README.txt" readme)
foreach(needed "Fraywick ${VERSION}, diagnostic build" "WHEN TO USE IT" "NEVER BOTH AT ONCE"
               "Fraywick-recording.txt" "Fraywick-recording-1.txt" "AFTER A CRASH"
               "HOW BIG IT GETS" "MiB" "WHAT TO SEND" "Fraywick-diag.pdb")
  string(FIND "${readme}" "${needed}" at)
  if(at LESS 0)
    fail("README.txt does not mention '${needed}'")
  endif()
endforeach()
