# The Windows downloads: `cpack` in a Windows build directory makes
#   wendrel-<version>-win32.zip        the program and its texts, to unpack
#                                      anywhere (win64 for a 64-bit build)
#   wendrel-<version>-win32-setup.exe  an installer for the current user:
#                                      no administrator rights, a Start-menu
#                                      entry, listed under Apps, with an
#                                      uninstaller (NSIS's makensis)
# The Debian package is package.cmake.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wendrel_windows_arch win64)
else()
  set(wendrel_windows_arch win32)
endif()

# What both hold beside the program: the texts, named so that Windows
# opens them.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION . RENAME CHANGELOG.txt)

set(CPACK_PACKAGE_NAME wendrel)
set(CPACK_PACKAGE_VENDOR "The Wendrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Text console for a USB HID board")
set(CPACK_PACKAGE_FILE_NAME wendrel-${PROJECT_VERSION}-${wendrel_windows_arch})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Wendrel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Wendrel)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR "ZIP;NSIS")
# A release program is linked stripped. Stripping it again at packaging
# would stamp each copy's PE header with the time of that pass, and the
# zip's program and the installer's would differ.
if(CMAKE_STRIP AND NOT CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  set(CPACK_STRIP_FILES ON)
endif()

# The installer is of our own script (windows/NSIS.template.in): CPack's
# stock one installs for all users, into Program Files, as administrator.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows)
set(CPACK_NSIS_DISPLAY_NAME Wendrel)
set(CPACK_NSIS_PACKAGE_NAME Wendrel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_UNINSTALL_NAME uninstall)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/icons/wendrel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/icons/wendrel.ico)
# The script is UTF-8 (its Japanese texts).
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -INPUTCHARSET UTF8)
# The installer's name differs from the program's.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows/per-generator.cmake)

include(CPack)
