# Windows builds with MinGW-w64 (cross or native): what the DLL and the Windows host need
# beyond the common settings. Included by the top-level CMakeLists.txt after every target exists.
#
# - The C++ runtime, libgcc and winpthread are linked statically (the toolchain files pass
#   -static to every link; cqscope_shipped_module and tools/winhost say so again for the
#   modules and the host), so the DLL and the host import only system DLLs (KERNEL32, USER32,
#   GDI32, ole32, msvcrt) and nothing has to ship beside them.
# - The 64-bit DLL is cqscope64.dll, so that both can sit in one plug-in folder; likewise the
#   CLAP files are cqscope.clap (64-bit) and cqscope32.clap (src/clap/CMakeLists.txt); the VST 3
#   bundle holds both side by side (Contents/x86_64-win/cqscope.vst3, Contents/x86-win/
#   cqscope.vst3, src/vst3/CMakeLists.txt).

if(NOT MINGW)
  return()
endif()

if(TARGET cqscope)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set_target_properties(cqscope PROPERTIES OUTPUT_NAME cqscope64)
  endif()
endif()
# Release builds ship without symbols (the static C++ runtime brings its debug sections); the
# modules are stripped by cqscope_shipped_module.
if(TARGET cqscope-host)
  target_link_options(cqscope-host PRIVATE $<$<CONFIG:Release>:-s>)
endif()

# `cmake --install build-win64 --prefix "C:/Program Files/Common Files"` puts the CLAP file in
# the CLAP folder of that prefix, %COMMONPROGRAMFILES%\CLAP, where CLAP hosts look.
if(TARGET cqscope_clap)
  install(TARGETS cqscope_clap LIBRARY DESTINATION CLAP)
endif()

# The same prefix's VST3 folder, %COMMONPROGRAMFILES%\VST3, takes the bundle cqscope.vst3 with
# this build's binary in its system's folder (installing the other preset adds the other one).
if(TARGET cqscope_vst3)
  install(TARGETS cqscope_vst3
          RUNTIME DESTINATION VST3/cqscope.vst3/Contents/${CQSCOPE_VST3_ARCH}
          LIBRARY DESTINATION VST3/cqscope.vst3/Contents/${CQSCOPE_VST3_ARCH})
endif()
