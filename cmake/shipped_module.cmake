# cqscope_shipped_module(TARGET SOURCES src... CORE lib... EXPORTS file.map [DEF file.def]
#                        [SUFFIX .ext] [HOST_CALLS])
#
# A module a host loads (a plug-in, a bundle's library, a stand-in plug-in of the tests): the
# SOURCES (its entries) compiled into a shared module over the static CORE libraries, with
# every rule a shipped module follows in one place:
# - no "lib" prefix; SUFFIX where the format names its files otherwise (.clap);
# - exports only what its entries name: on Linux the version script EXPORTS, on Windows the
#   dllexport'd entries or the module-definition file DEF;
# - a missing symbol fails the link rather than the host's load (-z defs; --no-undefined on
#   Windows). Sanitizer runtimes are provided by the loading program, not linked into shared
#   modules, so their symbols are undefined in the module on purpose: -z defs only without;
# - on Windows (MinGW) the C++ runtime, libgcc and winpthread linked in, so the module imports
#   system DLLs only, and no symbols in Release builds (the static runtime brings its debug
#   sections);
# - HOST_CALLS: on Linux the module also exports the entry to its own windows for host
#   programs of ours (src/platform/host_calls.h), which the version script must name.
function(cqscope_shipped_module target)
  cmake_parse_arguments(M "HOST_CALLS" "EXPORTS;DEF;SUFFIX" "SOURCES;CORE" ${ARGN})
  if(NOT M_SOURCES OR NOT M_EXPORTS)
    message(FATAL_ERROR "cqscope_shipped_module(${target}): SOURCES and EXPORTS are required")
  endif()
  add_library(${target} MODULE ${M_SOURCES})
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(M_SUFFIX)
    set_target_properties(${target} PROPERTIES SUFFIX "${M_SUFFIX}")
  endif()
  target_link_libraries(${target} PRIVATE ${M_CORE})
  if(WIN32)
    if(M_DEF)
      target_sources(${target} PRIVATE "${M_DEF}")
    endif()
    if(MINGW)
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
        -Wl,--no-undefined $<$<CONFIG:Release>:-s>)
    endif()
  else()
    target_link_options(${target} PRIVATE "-Wl,--version-script=${M_EXPORTS}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${M_EXPORTS}")
    if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
      target_link_options(${target} PRIVATE "-Wl,-z,defs")
    endif()
    if(M_HOST_CALLS)
      target_link_libraries(${target} PRIVATE cqscope_platform_entry ${CMAKE_DL_LIBS})
    endif()
  endif()
  cqscope_warnings(${target})
endfunction()
