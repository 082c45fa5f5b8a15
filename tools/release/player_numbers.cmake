# The numbers the players' texts state, read from the code that decides them: how many saloons
# Fraywick watches, how far around one it recruits, how long it waits between two looks, and the
# diagnostic build's recording limits (how many earlier recordings stay, where one recording
# stops, how much the earlier ones may take together). A text that stated its own numbers would
# go on promising them after the code changed; this way it cannot. A constant written in another
# shape than its pattern below fails the configure, naming it, rather than ship a text without
# its number.
#
# Sets, for configure_file:
#   FRAYWICK_SALOON_COUNT            the saloons watched
#   FRAYWICK_RECRUIT_METRES          the recruitment radius, in whole metres
#   FRAYWICK_SCAN_WAIT               the time between two scans, in words ("a second")
#   FRAYWICK_RECORDINGS_KEPT         earlier recordings kept beside the newest
#   FRAYWICK_RECORDING_CAP_MIB       where one recording stops, in MiB
#   FRAYWICK_RECORDING_CAP_KB        the same as Explorer's Size column shows it ("262,144")
#   FRAYWICK_EARLIER_RECORDINGS_MIB  what the earlier ones may take together, in MiB
#   FRAYWICK_ALL_RECORDINGS_MIB      the newest and the earlier ones together, in MiB
function(fraywick_player_numbers)
  set(sources src/brawl/saloons.h src/brawl/brawl.cpp src/brawl/director.cpp
              src/diag/recording_format.h src/diag/recorder.cpp)
  list(TRANSFORM sources PREPEND ${PROJECT_SOURCE_DIR}/)
  # A changed constant configures again, and the texts follow.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sources})
  set(code "")
  foreach(source IN LISTS sources)
    file(READ ${source} text)
    string(APPEND code "${text}")
  endforeach()

  # NAME says what the pattern finds, for the message; the number is the pattern's one group.
  function(fraywick_player_number name pattern out)
    if(NOT code MATCHES "${pattern}")
      message(FATAL_ERROR "player texts: no ${name} in src/brawl/ or src/diag/; "
                          "tools/release/player_numbers.cmake expects it to match '${pattern}'")
    endif()
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  endfunction()
  fraywick_player_number("saloon count" "kSaloonCount = ([0-9]+);" saloons)
  fraywick_player_number("recruitment radius" "kRecruitRadius = ([0-9]+)\\.0f;" metres)
  fraywick_player_number("scan interval" "kScanIntervalMs = ([0-9]+);" scan_ms)
  fraywick_player_number("number of earlier recordings kept" "kEarlierKept = ([0-9]+);" kept)
  fraywick_player_number("recording cap in MiB"
                         "FRAYWICK_RECORDING_CAP \\(([0-9]+)ull << 20\\)" cap_mib)
  fraywick_player_number("bound on the earlier recordings, in caps"
                         "kEarlierBytes = ([0-9]+) \\* kCapBytes;" earlier_caps)

  if(scan_ms EQUAL 1000)
    set(scan_wait "a second")
  else()
    set(scan_wait "${scan_ms} milliseconds")
  endif()
  math(EXPR earlier_mib "${earlier_caps} * ${cap_mib}")
  math(EXPR all_mib "${earlier_mib} + ${cap_mib}")
  # Explorer's KB are KiB, with a thousands separator.
  math(EXPR cap_kb "${cap_mib} * 1024")
  string(REGEX REPLACE "([0-9])([0-9][0-9][0-9])$" "\\1,\\2" cap_kb "${cap_kb}")
  string(REGEX REPLACE "([0-9])([0-9][0-9][0-9])," "\\1,\\2," cap_kb "${cap_kb}")

  set(FRAYWICK_SALOON_COUNT ${saloons} PARENT_SCOPE)
  set(FRAYWICK_RECRUIT_METRES ${metres} PARENT_SCOPE)
  set(FRAYWICK_SCAN_WAIT "${scan_wait}" PARENT_SCOPE)
  set(FRAYWICK_RECORDINGS_KEPT ${kept} PARENT_SCOPE)
  set(FRAYWICK_RECORDING_CAP_MIB ${cap_mib} PARENT_SCOPE)
  set(FRAYWICK_RECORDING_CAP_KB ${cap_kb} PARENT_SCOPE)
  set(FRAYWICK_EARLIER_RECORDINGS_MIB ${earlier_mib} PARENT_SCOPE)
  set(FRAYWICK_ALL_RECORDINGS_MIB ${all_mib} PARENT_SCOPE)
endfunction()
