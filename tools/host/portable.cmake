# cqscope_host_portable: the parts of cqscope-host that need nothing of the system, linked by
# the Linux host (tools/host) and the Windows host (tools/winhost) alike: the VST 2.x plug-in
# host and its probe, the CLAP host with its probe and file processing, the demo signal. Each
# host adds the system's own files to it: loading libraries (plugin_host_*.cpp,
# clap_host_*.cpp) and, on Linux, polling file descriptors.
set(portable_dir "${CMAKE_CURRENT_LIST_DIR}")
add_library(cqscope_host_portable STATIC
  ${portable_dir}/plugin_analysis_wait.cpp
  ${portable_dir}/clap_file_process.cpp
  ${portable_dir}/clap_host.cpp
  ${portable_dir}/clap_host_services.cpp
  ${portable_dir}/clap_probe.cpp
  ${portable_dir}/clap_stream.cpp
  ${portable_dir}/demo_signal.cpp
  ${portable_dir}/host_opcode_names.cpp
  ${portable_dir}/input_channels.cpp
  ${portable_dir}/play_loop.cpp
  ${portable_dir}/plugin_editor.cpp
  ${portable_dir}/plugin_host.cpp
  ${portable_dir}/probe.cpp)
# Its files include each other by name; users include them as "host/NAME.h".
target_include_directories(cqscope_host_portable PUBLIC "${PROJECT_SOURCE_DIR}/src"
  "${PROJECT_SOURCE_DIR}/tools")
target_include_directories(cqscope_host_portable PRIVATE "${portable_dir}")
find_package(Threads REQUIRED)
target_link_libraries(cqscope_host_portable PUBLIC cqscope_clap_interface Threads::Threads)
cqscope_warnings(cqscope_host_portable)
