# The Debian package: `cpack -G DEB` in a build tree. Every front end puts
# its files in with its own install rules (component cli, gui, ...); the
# package holds all of them.
set(CPACK_PACKAGE_NAME "quorbsl")
set(CPACK_PACKAGE_VENDOR "Karvell Devices, Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for Karvell measuring devices over a serial port")
set(CPACK_PACKAGE_CONTACT "[placeholder: package maintainer]")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
# Installing (and packing) takes what is built; it does not build every
# target of the tree first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
