# Reads resources/songs/tracks.txt, the disk's one table of tracks, into
#   VELTRANE_TRACK_IDS     the "AHX" resource id of each track
#   VELTRANE_TRACK_FILES   its song file, relative to resources/songs
#   VELTRANE_TRACK_TITLES  its display title
# in disk order. The track list, the resource script and the native resource
# table are all made from these, so a track is named in one place only.
set(VELTRANE_TRACK_TABLE ${PROJECT_SOURCE_DIR}/resources/songs/tracks.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELTRANE_TRACK_TABLE})

set(VELTRANE_TRACK_IDS "")
set(VELTRANE_TRACK_FILES "")
set(VELTRANE_TRACK_TITLES "")
file(STRINGS ${VELTRANE_TRACK_TABLE} track_lines ENCODING UTF-8)
foreach(line IN LISTS track_lines)
  if(line MATCHES "^#" OR line MATCHES "^[ \t]*$")
    continue()
  endif()
  if(NOT line MATCHES "^(-?[0-9]+)\t([A-Za-z0-9_.-]+)\t([^\t]+)$")
    message(FATAL_ERROR "${VELTRANE_TRACK_TABLE}: '${line}' is not 'ID<tab>FILE<tab>TITLE'")
  endif()
  list(APPEND VELTRANE_TRACK_IDS ${CMAKE_MATCH_1})
  list(APPEND VELTRANE_TRACK_FILES ${CMAKE_MATCH_2})
  # A semicolon would split the list; the title list would no longer line up.
  string(REPLACE ";" "," title "${CMAKE_MATCH_3}")
  list(APPEND VELTRANE_TRACK_TITLES "${title}")
endforeach()
list(LENGTH VELTRANE_TRACK_IDS VELTRANE_TRACK_COUNT)
if(NOT VELTRANE_TRACK_COUNT EQUAL 10)
  message(FATAL_ERROR "${VELTRANE_TRACK_TABLE} lists ${VELTRANE_TRACK_COUNT} tracks; the disk has 10")
endif()

# Writes `content` to `path` only when it changed, so that a re-configure
# rebuilds nothing.
function(veltrane_write_if_changed path content)
  set(previous "")
  if(EXISTS ${path})
    file(READ ${path} previous)
  endif()
  if(NOT previous STREQUAL content)
    file(WRITE ${path} "${content}")
  endif()
endfunction()

# `text` as the body of a C string literal.
function(veltrane_c_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
