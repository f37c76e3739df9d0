# CLAP hosting, as the build lists it (formats/sources.cmake gathers every format's list).
cqhost_format_files(
  # Needs nothing of the system: both hosts link it.
  PORTABLE clap_gui_session.cpp clap_host.cpp clap_host_services.cpp clap_probe.cpp
    clap_stream.cpp hosted_clap.cpp
  # Loading a file and, on Linux, polling its descriptors: each system's own.
  POSIX clap_host_posix.cpp
  WIN clap_host_win.cpp
  # validate's checks (Linux host).
  CHECKS clap_checks.cpp)
