# Read by cpack once per generator: the installer is "...-setup.exe", so
# that it is never taken for the program.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
