# Per-generator CPack settings, read by cpack for each generator in turn.
if(CPACK_GENERATOR STREQUAL "DEB")
  # The plain installation and the Debian documents (copyright, changelog) in one package.
  set(CPACK_COMPONENTS_ALL Unspecified debian)
endif()
