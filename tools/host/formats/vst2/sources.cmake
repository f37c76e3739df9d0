# VST 2.x hosting, as the build lists it (formats/sources.cmake gathers every format's list).
cqhost_format_files(
  # Needs nothing of the system: both hosts link it.
  PORTABLE host_opcode_names.cpp hosted_vst2.cpp plugin_editor.cpp plugin_host.cpp probe.cpp
  # Loading an effect: each system's own.
  POSIX plugin_host_posix.cpp
  WIN plugin_host_win.cpp
  # validate's checks (Linux host).
  CHECKS checks/analyser_checks.cpp checks/audio_rig.cpp checks/editor_checks.cpp
    checks/editor_rig.cpp checks/lifecycle_checks.cpp checks/midi_checks.cpp
    checks/opcode_checks.cpp checks/rate_block_checks.cpp checks/sample_checks.cpp
    checks/vst2_check_support.cpp)
