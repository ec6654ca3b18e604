# Read by cpack once for each package it makes. Every package holds the launcher's files; the
# lintian override (the "lintian" component) goes into the .deb and the tarball only.
if(CPACK_GENERATOR STREQUAL "RPM")
  string(REPLACE ";ALL;" ";Unspecified;" CPACK_INSTALL_CMAKE_PROJECTS
                 "${CPACK_INSTALL_CMAKE_PROJECTS}")
endif()
