# The Windows programs and their packages: dialpix.exe (the windows, no
# console), dialpix.com (the command line in cmd.exe and PowerShell, which
# prefer .com), the zip and the NSIS installer (cpack, or ./package windows).
# Included from the top level instead of install.cmake when building for Windows.

set(share ${CMAKE_BINARY_DIR}/share)
set(DIALPIX_ICO ${share}/dialpix.ico)
add_custom_command(
  OUTPUT ${DIALPIX_ICO}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${share}
  COMMAND make_icon ${DIALPIX_ICO}
  DEPENDS make_icon
  COMMENT "Writing the icon")

# One resource script a program, for its own original file name.
foreach(pair "dialpix-gui|dialpix.exe" "dialpix|dialpix.com")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 target)
  list(GET pair 1 DIALPIX_FILE)
  set(rc ${CMAKE_BINARY_DIR}/${DIALPIX_FILE}.rc)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/dialpix.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${DIALPIX_ICO})
  target_sources(${target} PRIVATE ${rc})
endforeach()
set_target_properties(dialpix-gui PROPERTIES OUTPUT_NAME dialpix WIN32_EXECUTABLE ON)
set_target_properties(dialpix PROPERTIES SUFFIX .com)

# The zip and the installer hold one folder: both programs, README and licence.
install(TARGETS dialpix-gui dialpix RUNTIME DESTINATION .)
install(FILES README.md DESTINATION . RENAME README.txt)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_PACKAGE_NAME dialpix)
set(CPACK_PACKAGE_VENDOR dialpix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, export and write back the bitmaps inside FS98 gauge files")
set(CPACK_PACKAGE_FILE_NAME dialpix-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY dialpix)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY dialpix)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "ZIP;NSIS")
# The installer's own name, and its pages and entries.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/cpack_windows.cmake)
# A 64-bit installer (Debian's makensis has the amd64 stubs): into the 64-bit
# Program Files, its registry keys in the 64-bit view, and no 32-bit wine needed.
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  !include '${CMAKE_CURRENT_SOURCE_DIR}/packaging/installer_functions.nsh'")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME dialpix)
set(CPACK_NSIS_DISPLAY_NAME "dialpix ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${DIALPIX_ICO})
set(CPACK_NSIS_MUI_UNIICON ${DIALPIX_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME dialpix.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES dialpix dialpix)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT "https://dialpix.example.org")
# The .gau file type, written for all users where wine and Windows both read
# it, and the folder on the user's PATH. The uninstaller first makes sure that
# dialpix is not running, which would keep its files.
set(nsh ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!include '${nsh}/file_type.nsh'
  !include '${nsh}/user_path.nsh'")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!include '${nsh}/in_use.nsh'
  !include '${nsh}/user_path_removal.nsh'
  !include '${nsh}/file_type_removal.nsh'")
include(CPack)
