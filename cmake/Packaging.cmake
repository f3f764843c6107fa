# make package: two Debian packages with CPack, quillon-utility (the panel, quillonctl, the bundled
# drivers, desktop files, udev rule, manual pages) and quillon-tango (the TANGO server and its
# unit). Dependencies come from dpkg-shlibdeps; each package carries its copyright and changelog.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL utility)
if(TARGET quillon-tango)
  list(APPEND CPACK_COMPONENTS_ALL tango)
endif()
set(CPACK_PACKAGE_NAME quillon-utility)
set(CPACK_PACKAGE_VENDOR "Quillon Utility developers")
set(CPACK_PACKAGE_CONTACT "Quillon Utility developers <quillon-utility@lists.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressManPages.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_UTILITY_PACKAGE_NAME quillon-utility)
set(CPACK_DEBIAN_UTILITY_PACKAGE_SECTION science)
set(CPACK_COMPONENT_UTILITY_DESCRIPTION
  "Control panel and command-line tool for the Quillon shutter controller\n"
  " The panel and quillonctl drive a shutter controller behind an FTDI USB-serial\n"
  " bridge, through the D2XX library or the kernel's serial driver; a simulated\n"
  " controller is included.")
set(CPACK_DEBIAN_TANGO_PACKAGE_NAME quillon-tango)
set(CPACK_DEBIAN_TANGO_PACKAGE_SECTION science)
# The server loads the driver libraries the utility's package installs.
set(CPACK_DEBIAN_TANGO_PACKAGE_DEPENDS
  "quillon-utility (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_COMPONENT_TANGO_DESCRIPTION
  "TANGO device server for the Quillon shutter controller\n"
  " quillon-tango makes one controller a TANGO device of class QuillonShutter,\n"
  " with a systemd template unit quillon-tango@.service.")

foreach(component utility tango)
  set(package quillon-${component})
  set(doc ${CMAKE_BINARY_DIR}/package-doc/${package})
  file(MAKE_DIRECTORY ${doc})
  file(WRITE ${doc}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: quillon-utility\n\n"
    "Files: *\nCopyright: 2026 the Quillon Utility developers\nLicense: proprietary\n"
    " All rights reserved by the Quillon Utility developers.\n")
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${doc}/changelog.Debian
    "${package} (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
    "  * Built with CPack from the project's sources.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
  execute_process(COMMAND gzip -9nf ${doc}/changelog.Debian)
  install(FILES ${doc}/copyright ${doc}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

include(CPack)
