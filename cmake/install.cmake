# Installation and the Linux release packages. Included by the top-level CMakeLists.txt on
# Linux after every target exists.
#
#   cmake --install build [--prefix ~/.local]   plug-in, host, manual page and documents
#   cpack --config build/CPackConfig.cmake        the Debian package and the .tar.gz
#
# The plug-in goes to <prefix>/lib/vst, where Debian installs Linux VST 2.x plug-ins and hosts
# look; it is one self-contained file (the window library is inside it).

set(CQSCOPE_DOC_DIR share/doc/cqscope)
set(CQSCOPE_PACKAGING_DIR "${CMAKE_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${CQSCOPE_PACKAGING_DIR}")

install(TARGETS cqscope LIBRARY DESTINATION lib/vst
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS cqscope-host RUNTIME DESTINATION bin)
# The program's video module, where it looks when installed (<prefix>/bin/../lib/cqscope).
install(TARGETS cqscope_host_video LIBRARY DESTINATION lib/cqscope
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# The LV2 bundle goes to <prefix>/lib/lv2/cqscope.lv2, where Debian installs LV2 plug-ins and
# hosts look (LV2_PATH adds other places).
if(TARGET cqscope_lv2_dsp)
  install(TARGETS cqscope_lv2_dsp cqscope_lv2_ui LIBRARY DESTINATION lib/lv2/cqscope.lv2
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES "${CQSCOPE_LV2_BUNDLE}/manifest.ttl" "${CQSCOPE_LV2_BUNDLE}/cqscope.ttl"
          DESTINATION lib/lv2/cqscope.lv2)
endif()
# The CLAP plug-in goes to <prefix>/lib/clap/cqscope.clap: /usr/lib/clap is where CLAP hosts
# look on Linux (besides ~/.clap and the folders of CLAP_PATH).
if(TARGET cqscope_clap)
  install(TARGETS cqscope_clap LIBRARY DESTINATION lib/clap
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
# The VST 3 bundle goes to <prefix>/lib/vst3/cqscope.vst3, its binary in the folder of this
# machine (Contents/x86_64-linux/cqscope.so): /usr/lib/vst3 is where VST 3 hosts look on Linux
# (besides ~/.vst3 and /usr/local/lib/vst3), searching for folders named *.vst3.
if(TARGET cqscope_vst3)
  install(TARGETS cqscope_vst3
          LIBRARY DESTINATION lib/vst3/cqscope.vst3/Contents/${CQSCOPE_VST3_ARCH}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
# The Vamp library and its category file go to <prefix>/lib/vamp: /usr/lib/vamp is where Debian
# installs Vamp plug-ins and where Vamp hosts look on Linux (besides ~/vamp, /usr/local/lib/vamp
# and the folders of VAMP_PATH).
if(TARGET cqscope_vamp)
  install(TARGETS cqscope_vamp LIBRARY DESTINATION lib/vamp
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES "${CQSCOPE_VAMP_CATEGORY}" DESTINATION lib/vamp)
endif()
install(FILES README.md LICENSE DESTINATION ${CQSCOPE_DOC_DIR})
# The rest of the documentation, where the README's links expect it (docs/ beside it).
install(DIRECTORY docs/ DESTINATION ${CQSCOPE_DOC_DIR}/docs
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Compressed as Debian wants them (gzip -9n: no name or time inside, so builds are identical).
find_program(CQSCOPE_GZIP gzip REQUIRED)
function(cqscope_gzip source output)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CQSCOPE_GZIP}" -9nc "${source}" > "${output}"
    DEPENDS "${source}" VERBATIM)
endfunction()

cqscope_gzip("${PROJECT_SOURCE_DIR}/packaging/cqscope-host.1"
             "${CQSCOPE_PACKAGING_DIR}/cqscope-host.1.gz")
install(FILES "${CQSCOPE_PACKAGING_DIR}/cqscope-host.1.gz" DESTINATION share/man/man1)

# The Debian package's own documents: the copyright file in Debian's machine-readable form
# (made from LICENSE) and a changelog. Only in the package (component "debian"), not in a
# plain installation. The date is the release's (SOURCE_DATE_EPOCH when set).
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" cqscope_license)
string(REGEX REPLACE "\n+$" "" cqscope_license "${cqscope_license}")
string(REGEX REPLACE "\n\n" "\n.\n" cqscope_license "${cqscope_license}")
string(REPLACE "\n" "\n " cqscope_license " ${cqscope_license}")
file(WRITE "${CQSCOPE_PACKAGING_DIR}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: cqscope

Files: *
Copyright: 2026 the cqscope developers
License: Expat
${cqscope_license}
")
string(TIMESTAMP cqscope_release_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${CQSCOPE_PACKAGING_DIR}/changelog"
"cqscope (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${CQSCOPE_MAINTAINER}  ${cqscope_release_date}
")
cqscope_gzip("${CQSCOPE_PACKAGING_DIR}/changelog" "${CQSCOPE_PACKAGING_DIR}/changelog.gz")
add_custom_target(cqscope_package_documents ALL
  DEPENDS "${CQSCOPE_PACKAGING_DIR}/cqscope-host.1.gz" "${CQSCOPE_PACKAGING_DIR}/changelog.gz")
install(FILES "${CQSCOPE_PACKAGING_DIR}/copyright" "${CQSCOPE_PACKAGING_DIR}/changelog.gz"
        DESTINATION ${CQSCOPE_DOC_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
# lintian's overrides, each with its reason (packaging/lintian-overrides).
install(FILES "${PROJECT_SOURCE_DIR}/packaging/lintian-overrides" RENAME cqscope
        DESTINATION share/lintian/overrides COMPONENT debian EXCLUDE_FROM_ALL)

# ---- CPack: cqscope_<version>_<arch>.deb and cqscope-<version>-linux-<arch>.tar.gz ----
set(CPACK_PACKAGE_NAME cqscope)
set(CPACK_PACKAGE_VENDOR "the cqscope developers")
set(CPACK_PACKAGE_CONTACT "${CQSCOPE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "musical spectrum analyser plug-in for VST 2.x, LV2 and CLAP hosts")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" cqscope_system)
set(CPACK_PACKAGE_FILE_NAME "cqscope-${PROJECT_VERSION}-${cqscope_system}")
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries it links, as dpkg-shlibdeps finds them, never a hand-made list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The extended description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"cqscope shows, ten times a second, a 960-bin constant-Q spectrum of
its input (ten bins per semitone, C1 to about 8.3 kHz) over a piano
keyboard grid, stripes the MIDI notes that are held and freezes the
picture with its Hold button. Audio passes through untouched. The
plug-in is installed in /usr/lib/vst, where Linux hosts look for
VST 2.x plug-ins, as an LV2 bundle in /usr/lib/lv2, as a CLAP
plug-in in /usr/lib/clap and as a VST 3 bundle in /usr/lib/vst3. Its
analysis is also a Vamp plug-in in /usr/lib/vamp, for Sonic
Visualiser and other Vamp hosts.
.
cqscope-host is a command-line VST 2.x host: it renders what the
plug-in shows into PNG pictures, and probes, exercises and validates
any VST 2.x effect.")
# The package holds the plain installation and the Debian documents, as one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/cpack_generators.cmake")
include(CPack)
