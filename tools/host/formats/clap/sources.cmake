# CLAP hosting, as the build lists it (formats/sources.cmake gathers every format's list).
set(format_dir "${CMAKE_CURRENT_LIST_DIR}")
# Needs nothing of the system: both hosts link it.
list(APPEND cqhost_format_sources
  ${format_dir}/clap_gui_session.cpp
  ${format_dir}/clap_host.cpp
  ${format_dir}/clap_host_services.cpp
  ${format_dir}/clap_probe.cpp
  ${format_dir}/clap_stream.cpp
  ${format_dir}/hosted_clap.cpp)
# Loading a file and, on Linux, polling its descriptors: each system's own.
list(APPEND cqhost_format_posix_sources ${format_dir}/clap_host_posix.cpp)
list(APPEND cqhost_format_win_sources ${format_dir}/clap_host_win.cpp)
# validate's checks (Linux host).
list(APPEND cqhost_format_check_sources ${format_dir}/clap_checks.cpp)
