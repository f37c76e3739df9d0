# cqscope_host_portable: the parts of cqscope-host that need nothing of the system, linked by
# the Linux host (tools/host) and the Windows host (tools/winhost) alike: the plug-in formats
# (each behind the one hosted-plug-in interface, with its probe) and their registry, `probe`,
# the play loop and `process`'s body, the demo signal. Each
# host adds the system's own files to it: loading libraries (formats/vst2/plugin_host_*.cpp,
# formats/clap/clap_host_*.cpp) and, on Linux, polling file descriptors.
set(portable_dir "${CMAKE_CURRENT_LIST_DIR}")
add_library(cqscope_host_portable STATIC
  ${portable_dir}/commands/probe.cpp
  ${portable_dir}/formats/clap/clap_gui_session.cpp
  ${portable_dir}/formats/clap/clap_host.cpp
  ${portable_dir}/formats/clap/clap_host_services.cpp
  ${portable_dir}/formats/clap/clap_probe.cpp
  ${portable_dir}/formats/clap/clap_stream.cpp
  ${portable_dir}/formats/clap/hosted_clap.cpp
  ${portable_dir}/formats/formats.cpp
  ${portable_dir}/formats/plugin_analysis_wait.cpp
  ${portable_dir}/formats/vst2/host_opcode_names.cpp
  ${portable_dir}/formats/vst2/hosted_vst2.cpp
  ${portable_dir}/formats/vst2/plugin_editor.cpp
  ${portable_dir}/formats/vst2/plugin_host.cpp
  ${portable_dir}/formats/vst2/probe.cpp
  ${portable_dir}/play/demo_signal.cpp
  ${portable_dir}/play/input_channels.cpp
  ${portable_dir}/play/play_loop.cpp
  ${portable_dir}/play/process_audio.cpp)
# The host's files, and their users, include them by their folder: "play/play_loop.h".
target_include_directories(cqscope_host_portable PUBLIC "${PROJECT_SOURCE_DIR}/src"
  "${portable_dir}")
find_package(Threads REQUIRED)
target_link_libraries(cqscope_host_portable PUBLIC cqscope_clap_interface Threads::Threads)
cqscope_warnings(cqscope_host_portable)
