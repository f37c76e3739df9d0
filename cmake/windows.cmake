# Windows builds with MinGW-w64 (cross or native): what the DLL and the Windows host need
# beyond the common settings. Included by the top-level CMakeLists.txt after every target exists.
#
# - The C++ runtime, libgcc and winpthread are linked statically (the toolchain files pass
#   -static to every link; cqscope_shipped_module and tools/winhost say so again for the
#   modules and the host), so the DLL and the host import only system DLLs (KERNEL32, USER32,
#   GDI32, ole32, msvcrt) and nothing has to ship beside them.
# - The 64-bit DLL is cqscope64.dll, so that both can sit in one plug-in folder; likewise the
#   CLAP files are cqscope.clap (64-bit) and cqscope32.clap (src/clap/CMakeLists.txt).

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
