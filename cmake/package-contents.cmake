# Read by cpack once for each package it makes. Every package holds what cmake --install installs;
# the .deb also holds the lintian override (the "lintian" component, left out of a plain
# installation), which only Debian's tools read.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 buildDirectory)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${buildDirectory}" bootloader lintian /)
endif()
