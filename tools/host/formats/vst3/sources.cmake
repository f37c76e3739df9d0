# VST 3 hosting, as the build lists it (formats/sources.cmake gathers every format's list).
set(format_dir "${CMAKE_CURRENT_LIST_DIR}")
# Needs nothing of the system: both hosts link it.
list(APPEND cqhost_format_sources
  ${format_dir}/hosted_vst3.cpp
  ${format_dir}/vst3_host_objects.cpp
  ${format_dir}/vst3_module.cpp
  ${format_dir}/vst3_plugin.cpp
  ${format_dir}/vst3_probe.cpp)
# Loading a module and, on Linux, polling its editor's descriptors: each system's own.
list(APPEND cqhost_format_posix_sources ${format_dir}/vst3_module_posix.cpp)
list(APPEND cqhost_format_win_sources ${format_dir}/vst3_module_win.cpp)
# validate's checks (Linux host).
list(APPEND cqhost_format_check_sources ${format_dir}/vst3_checks.cpp)
# A plug-in's objects are reached through our own declarations of their interfaces, while their
# dynamic types are the plug-in's: the undefined-behaviour sanitizer's vptr check, which looks
# for our type information behind every call, cannot apply to them.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*undefined")
  set_source_files_properties(${format_dir}/hosted_vst3.cpp ${format_dir}/vst3_module.cpp
    ${format_dir}/vst3_plugin.cpp ${format_dir}/vst3_probe.cpp ${format_dir}/vst3_checks.cpp
    ${format_dir}/vst3_host_objects.cpp ${format_dir}/vst3_module_posix.cpp
    PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()
