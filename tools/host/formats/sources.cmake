# Every plug-in format's sources: each format's folder lists its own in a sources.cmake of its
# own, so that a new format is its folder (and its line in formats.cpp). Sets
#   cqhost_format_sources        portable: both hosts link them
#   cqhost_format_posix_sources  Linux's own (loading libraries, polling descriptors)
#   cqhost_format_win_sources    Windows' own (loading libraries)
#   cqhost_format_check_sources  validate's checks (Linux host)
#
# A format's sources.cmake calls cqhost_format_files once, with its files' names relative to its
# folder:
#   cqhost_format_files(PORTABLE ... POSIX ... WIN ... CHECKS ...)
macro(cqhost_format_files)
  cmake_parse_arguments(cqhost_format "" "" "PORTABLE;POSIX;WIN;CHECKS" ${ARGN})
  foreach(cqhost_kind PORTABLE POSIX WIN CHECKS)
    list(TRANSFORM cqhost_format_${cqhost_kind} PREPEND "${CMAKE_CURRENT_LIST_DIR}/")
  endforeach()
  list(APPEND cqhost_format_sources ${cqhost_format_PORTABLE})
  list(APPEND cqhost_format_posix_sources ${cqhost_format_POSIX})
  list(APPEND cqhost_format_win_sources ${cqhost_format_WIN})
  list(APPEND cqhost_format_check_sources ${cqhost_format_CHECKS})
endmacro()

set(cqhost_format_sources "")
set(cqhost_format_posix_sources "")
set(cqhost_format_win_sources "")
set(cqhost_format_check_sources "")
file(GLOB cqhost_format_lists CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/*/sources.cmake")
foreach(list_file ${cqhost_format_lists})
  include(${list_file})
endforeach()
