# Read by cpack for each generator: the installer is named apart from the zip,
# whose files unpack into one folder of the zip's own name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
