# What `cmake --install` and the Debian package carry of the command line.
include(GNUInstallDirs)
install(TARGETS quorbsl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorbsl COMPONENT cli)
# uaccess must be tagged before systemd's 73-seat-late.rules applies it.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/70-quorbsl-karvell-qla.rules
        DESTINATION lib/udev/rules.d COMPONENT cli)
