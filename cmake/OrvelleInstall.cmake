# What `cmake --install` puts where, and the Debian package built from it
# (`cpack -G DEB` in the build tree gives orvelle_VERSION_ARCH.deb).
#
#   bin/                                  orvelle, orvelle-cli, orvelle-mkdisk
#   share/orvelle/                        skin/, language/, license/, copyright/
#   share/applications/orvelle.desktop    desktop entry
#   share/metainfo/                       AppStream metadata
#   share/icons/hicolor/NxN/apps/         program icon (and scalable/)
#   share/man/man1/                       manual pages
#   share/doc/orvelle/                    copyright, changelog
#
# The programs look for their resources beside themselves first, then in
# ../share/orvelle: bin/ and share/ must stay side by side.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DOCDIR share/doc/orvelle)
# Installing copies what is built; it does not build first (the package test
# packs the tree the suite has just built).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(FATAL_ERROR "Orvelle installs into bin/ and share/ of one prefix "
                      "(the program finds share/orvelle as ../share/orvelle)")
endif()
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(orvelle_file_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

foreach(prog orvelle orvelle-cli orvelle-mkdisk)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION bin)
  endif()
endforeach()

if(TARGET orvelle)
  foreach(dir skin language license copyright)
    install(DIRECTORY ${CMAKE_BINARY_DIR}/${dir} DESTINATION share/orvelle
      FILE_PERMISSIONS ${orvelle_file_permissions}
      PATTERN ".rendered" EXCLUDE)
  endforeach()

  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${CMAKE_BINARY_DIR}/skin/icons/orvelle_${size}.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME orvelle.png)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/resources/skin/svg/logo.svg
    DESTINATION share/icons/hicolor/scalable/apps RENAME orvelle.svg)
  install(FILES ${CMAKE_BINARY_DIR}/desktop/orvelle.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_BINARY_DIR}/desktop/org.orvelle.Orvelle.metainfo.xml DESTINATION share/metainfo)
endif()

foreach(prog orvelle orvelle-cli orvelle-mkdisk)
  if(TARGET ${prog} AND TARGET orvelle_man)
    install(FILES ${CMAKE_BINARY_DIR}/man/${prog}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(TARGET orvelle_debian_docs)
  install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvelle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvelle developers")
set(CPACK_PACKAGE_CONTACT ${ORVELLE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player and extraction tool for digital video recorder disks")
# The extended description, as lines of at most 80 characters.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Orvelle reads the hard disk of a digital video recorder (DVR), taken out of\n"
  "the recorder and attached to the PC, or a raw image of it, straight from its\n"
  "sectors through the recorder's own file system (WFS). It never writes to the\n"
  "disk or image.\n"
  "\n"
  "The recordings are shown as a tree of disk, partition, date, channel and\n"
  "recording with a calendar of recording days. They play in a grid of up to 16\n"
  "windows, one at a time or several channels in step by time of day, and can be\n"
  "exported to local folders as raw H.264, cut into time ranges and converted to\n"
  "MP4.\n"
  "\n"
  "The package also holds orvelle-cli, which reads the same disks without a\n"
  "display, and orvelle-mkdisk, which makes recorder disk images for tests.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sound goes through Qt Multimedia's plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt5multimedia5-plugins, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
