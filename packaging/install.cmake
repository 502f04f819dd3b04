# Installing like a desktop program (cmake --install) and the Debian package
# (cpack -G DEB, or ./package). Included from the top level with the windows built.

include(GNUInstallDirs)

# The icon (make_icon), the manual page and the change log compressed as Debian wants them.
set(share ${CMAKE_BINARY_DIR}/share)
set(icon_png ${share}/dialpix.png)
set(man_page ${share}/dialpix.1.gz)
set(change_log ${share}/changelog.gz)
add_custom_command(
  OUTPUT ${icon_png}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${share}
  COMMAND make_icon ${icon_png}
  DEPENDS make_icon
  COMMENT "Writing the icon")
foreach(pair "doc/dialpix.1|${man_page}" "packaging/changelog|${change_log}")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 compressed)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${share}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${compressed}
    DEPENDS ${source}
    VERBATIM)
endforeach()
add_custom_target(desktop_files ALL DEPENDS ${icon_png} ${man_page} ${change_log})

install(TARGETS dialpix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS dialpix-gui RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/dialpix)
install(FILES packaging/dialpix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${icon_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES packaging/dialpix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/dialpix.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES packaging/org.dialpix.dialpix.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${change_log} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(DIALPIX_MAINTAINER "dialpix maintainers <maintainers@dialpix.example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dialpix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, export and write back the bitmaps inside FS98 gauge files")
set(CPACK_PACKAGE_DESCRIPTION
    "dialpix works on the gauge files (*.gau) of Flight Simulator 98 instrument
panels, which carry their pictures as 256-colour bitmaps somewhere inside.
It finds them, writes a chosen one out as an ordinary .BMP file for any paint
program and writes the edited pixels back into the gauge file in place. It
also previews a bitmap in its own colours, makes it transparent and shows or
changes single palette entries.

Its windows work on one bitmap at a time; its command line lists, exports and
imports the bitmaps of whole folders of gauge files from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DIALPIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binary; the windows also need Qt's X11 plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
