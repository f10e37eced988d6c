# Read by cpack once per generator. The Debian package holds the program's
# tree and its lintian overrides, as one package; the tarball holds the
# program's tree alone (a plain installation, as `cmake --install` makes).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program debian)
endif()
