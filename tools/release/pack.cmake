# Packs files into a zip whose bytes depend on nothing but the files' contents and the commit:
# entries in the order given, each with permissions 644 and the time of the commit being built
# (SOURCE_DATE_EPOCH when set), and no extra fields.
#
#   cmake -DZIP=<out.zip> -DSTAGE=<dir holding the files> -DENTRIES="a;b;c" -DSOURCE_DIR=<repo>
#         -P pack.cmake
#
# cmake -E tar --format=zip cannot do this: libarchive writes each file's access and change time
# into the entry's extended-time field, and --mtime replaces only the modification time. Info-ZIP's
# zip with -X writes the DOS time and attributes alone.
cmake_minimum_required(VERSION 3.25)

foreach(required ZIP STAGE ENTRIES SOURCE_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "pack: -D${required}=... is required")
  endif()
endforeach()

find_program(ZIP_PROGRAM zip)
if(NOT ZIP_PROGRAM)
  message(FATAL_ERROR "pack: the release is packed with zip, which `make release` installs")
endif()

# The commit's time: the same for every checkout of it, unlike the time of the build.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    set(epoch 315532800)  # not a git checkout: 1980-01-01, the first time a zip can hold
  endif()
endif()

foreach(entry IN LISTS ENTRIES)
  file(CHMOD "${STAGE}/${entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  execute_process(COMMAND touch -d "@${epoch}" "${STAGE}/${entry}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# zip adds to an existing archive; TZ=UTC0 makes the DOS time, which is local time, the same
# wherever the release is built.
file(REMOVE "${ZIP}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0
                        ${ZIP_PROGRAM} -X -D -q -9 "${ZIP}" ${ENTRIES}
                WORKING_DIRECTORY "${STAGE}" COMMAND_ERROR_IS_FATAL ANY)
