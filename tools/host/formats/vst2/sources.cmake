# VST 2.x hosting, as the build lists it (formats/sources.cmake gathers every format's list).
set(format_dir "${CMAKE_CURRENT_LIST_DIR}")
# Needs nothing of the system: both hosts link it.
list(APPEND cqhost_format_sources
  ${format_dir}/host_opcode_names.cpp
  ${format_dir}/hosted_vst2.cpp
  ${format_dir}/plugin_editor.cpp
  ${format_dir}/plugin_host.cpp
  ${format_dir}/probe.cpp)
# Loading an effect: each system's own.
list(APPEND cqhost_format_posix_sources ${format_dir}/plugin_host_posix.cpp)
list(APPEND cqhost_format_win_sources ${format_dir}/plugin_host_win.cpp)
# validate's checks (Linux host).
list(APPEND cqhost_format_check_sources
  ${format_dir}/checks/analyser_checks.cpp
  ${format_dir}/checks/audio_rig.cpp
  ${format_dir}/checks/editor_checks.cpp
  ${format_dir}/checks/editor_rig.cpp
  ${format_dir}/checks/lifecycle_checks.cpp
  ${format_dir}/checks/midi_checks.cpp
  ${format_dir}/checks/opcode_checks.cpp
  ${format_dir}/checks/rate_block_checks.cpp
  ${format_dir}/checks/sample_checks.cpp
  ${format_dir}/checks/vst2_check_support.cpp)
