# What `cmake --install` puts beside the program for schedulers (the manual page, the systemd
# units and their system user), and the Debian package built from it all with `cpack -G DEB`.
include(GNUInstallDirs)

# The manual page: written in scdoc, built into build/tarsil.1 and installed compressed.
find_program(SCDOC_PROGRAM scdoc)
find_program(GZIP_PROGRAM gzip)
if(SCDOC_PROGRAM AND GZIP_PROGRAM)
  set(man_source ${CMAKE_SOURCE_DIR}/docs/man/tarsil.1.scd)
  set(man_page ${CMAKE_BINARY_DIR}/tarsil.1)
  add_custom_command(OUTPUT ${man_page} ${man_page}.gz
    COMMAND ${SCDOC_PROGRAM} < ${man_source} > ${man_page}
    COMMAND ${GZIP_PROGRAM} -9nkf ${man_page}
    DEPENDS ${man_source} VERBATIM)
  add_custom_target(tarsil_man ALL DEPENDS ${man_page} ${man_page}.gz)
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: the manual page is not built (apt-get install scdoc)")
endif()

# The units go where systemd looks for packaged units below the prefix (/usr/lib/systemd).
install(FILES "${CMAKE_SOURCE_DIR}/data/systemd/tarsil@.service"
              "${CMAKE_SOURCE_DIR}/data/systemd/tarsil@.timer"
        DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/data/sysusers/tarsil.conf DESTINATION lib/sysusers.d)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/tarsil)

set(CPACK_PACKAGE_NAME tarsil)
set(CPACK_PACKAGE_VENDOR "The Tarsil developers")
set(CPACK_PACKAGE_CONTACT "Tarsil developers <tarsil@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP command script runner with an editor and unattended runs")
set(CPACK_PACKAGE_DESCRIPTION "Tarsil runs FTP command scripts: open, login, get/put, \
mget/mput/mdel, dir, raw FTP commands, local commands, labels, goto, if Error/NonError and stop. \
Scripts are written in a desktop editor beside a live execution log, or run unattended by a \
scheduler with `tarsil /autoPATH`; systemd units for nightly jobs are included.")
set(CPACK_PACKAGE_VERSION ${TARSIL_VERSION_TEXT})  # the version the program shows
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tarsil_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Shared libraries (Qt 6, the C++ runtime) are found by dpkg-shlibdeps; what the program loads
# at run time is named here: the Qt platform plugins, a Japanese font, and OpenSSL for FTPS.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, adduser")
if(TARSIL_GUI)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         ", qt6-qpa-plugins, fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/data/debian/postinst ${CMAKE_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
