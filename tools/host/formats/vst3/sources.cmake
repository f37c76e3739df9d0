# VST 3 hosting, as the build lists it (formats/sources.cmake gathers every format's list).
cqhost_format_files(
  # Needs nothing of the system: both hosts link it.
  PORTABLE hosted_vst3.cpp vst3_host_objects.cpp vst3_module.cpp vst3_plugin.cpp vst3_probe.cpp
  # Loading a module and, on Linux, polling its editor's descriptors: each system's own.
  POSIX vst3_module_posix.cpp
  WIN vst3_module_win.cpp
  # validate's checks (Linux host).
  CHECKS vst3_checks.cpp)
# A plug-in's objects are reached through our own declarations of their interfaces, while their
# dynamic types are the plug-in's: the undefined-behaviour sanitizer's vptr check, which looks
# for our type information behind every call, cannot apply to them.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*undefined")
  set_source_files_properties(${cqhost_format_PORTABLE} ${cqhost_format_POSIX}
    ${cqhost_format_CHECKS} PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()
