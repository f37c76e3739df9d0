# cqscope_host_portable: the parts of cqscope-host that need nothing of the system, linked by
# the Linux host (tools/host) and the Windows host (tools/winhost) alike: the plug-in formats
# (each behind the one hosted-plug-in interface, with its probe) and their registry, `probe`,
# the play loop and `process`'s body, the demo signal. Each
# host adds the system's own files to it: loading libraries (formats/plugin_file_*.cpp and each
# format's cqhost_format_posix_sources or cqhost_format_win_sources, formats/sources.cmake)
# and, on Linux, polling file descriptors.
set(portable_dir "${CMAKE_CURRENT_LIST_DIR}")
include(${portable_dir}/formats/sources.cmake)
add_library(cqscope_host_portable STATIC
  ${cqhost_format_sources}
  ${portable_dir}/commands/probe.cpp
  ${portable_dir}/commands/process_audio.cpp
  ${portable_dir}/files/input_channels.cpp
  ${portable_dir}/formats/formats.cpp
  ${portable_dir}/formats/plugin_analysis_wait.cpp
  ${portable_dir}/play/demo_signal.cpp
  ${portable_dir}/play/play_loop.cpp)
# The host's files, and their users, include them by their folder: "play/play_loop.h".
target_include_directories(cqscope_host_portable PUBLIC "${PROJECT_SOURCE_DIR}/src"
  "${portable_dir}")
find_package(Threads REQUIRED)
target_link_libraries(cqscope_host_portable PUBLIC cqscope_clap_interface Threads::Threads)
cqscope_warnings(cqscope_host_portable)
