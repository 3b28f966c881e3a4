# The content the musicdisk is made from: a pack, a folder whose manifest
# (musicdisk.txt) names the disk, its texts, its art and its ten tracks. The
# shipped disk is the pack in resources/; scripts/make_musicdisk.sh builds a
# disk from any other. scripts/musicdisk_pack.py reads the manifest, so that
# it is read in one place only, and sets
#   VELTRANE_DISK_NAME      the disk's name, and as .rc and XML text (_RC, _XML)
#   VELTRANE_COPYRIGHT_RC   its copyright line as .rc text
#   VELTRANE_ART_RESOURCES    "TYPE|ID|FILE" of the skin, corner, outline and icon
#   VELTRANE_TRACK_RESOURCES  "AHX|ID|FILE" of each track, in disk order
# (and VELTRANE_RESOURCE_FILES, the files of both, is derived below)
# and writes the titles, scroll text and name as C++, and the resource ids
# as resource_ids.h, into VELTRANE_PACK_SOURCES.
set(VELTRANE_PACK ${PROJECT_SOURCE_DIR}/resources CACHE PATH
  "The content pack the musicdisk is made from: a folder with a musicdisk.txt")
find_program(VELTRANE_PYTHON NAMES python3 REQUIRED)
set(VELTRANE_PACK_SOURCES ${CMAKE_BINARY_DIR}/pack)
execute_process(
  COMMAND ${VELTRANE_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/musicdisk_pack.py configure ${VELTRANE_PACK}
          --out-dir ${VELTRANE_PACK_SOURCES}
  RESULT_VARIABLE status
  ERROR_VARIABLE problems)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The pack ${VELTRANE_PACK} cannot be built:\n${problems}")
endif()
include(${VELTRANE_PACK_SOURCES}/musicdisk_pack.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${VELTRANE_PACK_INPUTS} ${PROJECT_SOURCE_DIR}/scripts/musicdisk_pack.py)

# The resources' files alone, songs first: what a change to must rebuild the
# resource script or the embedded table.
set(VELTRANE_RESOURCE_FILES "")
foreach(entry IN LISTS VELTRANE_TRACK_RESOURCES VELTRANE_ART_RESOURCES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 2 file)
  list(APPEND VELTRANE_RESOURCE_FILES ${file})
endforeach()

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
