# Checks the diagnostic release zip: exactly the diagnostic build, as built, and a readme of this
# version that tells a player when to use it, never beside Fraywick.asi, where the recording
# appears, how big it gets and what to send.
#
#   cmake -DZIP=... -DPLUGIN=... -DVERSION=1.2.3 -DWORK=dir -P check_diagnostic_release.cmake

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
if(NOT entries STREQUAL "Fraywick-diag.asi;README.txt")
  fail("the zip holds [${entries}], not [Fraywick-diag.asi;README.txt]")
endif()
file(SHA256 "${WORK}/Fraywick-diag.asi" packed)
file(SHA256 "${PLUGIN}" built)
if(NOT packed STREQUAL built)
  fail("the zip's Fraywick-diag.asi is not the one built at ${PLUGIN}")
endif()
file(READ "${WORK}/README.txt" readme)
foreach(needed "Fraywick ${VERSION}, diagnostic build" "WHEN TO USE IT" "NEVER BOTH AT ONCE"
               "Fraywick-recording.txt" "HOW BIG IT GETS" "256 MB" "WHAT TO SEND")
  string(FIND "${readme}" "${needed}" at)
  if(at LESS 0)
    fail("README.txt does not mention '${needed}'")
  endif()
endforeach()
