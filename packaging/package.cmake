# The Debian package: cpack -G DEB in a build directory makes
# wendrel_<version>_<arch>.deb from what `cmake --install` installs.
set(CPACK_PACKAGE_NAME wendrel)
set(CPACK_PACKAGE_VENDOR "The Wendrel developers")
set(CPACK_PACKAGE_CONTACT "The Wendrel developers <wendrel@users.noreply.github.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "text console for a USB HID board")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/description.txt)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/wendrel/wendrel")
# The libraries' packages from dpkg-shlibdeps; the font is what the
# Japanese dialog needs wherever no other Japanese font is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic | fonts-takao-gothic")
# Qt's own texts (the edit controls' context menus) in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian wants manual pages and changelogs compressed, and the copyright
# beside them.
if(UNIX AND NOT APPLE AND WENDREL_GUI)
  set(pkg_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${pkg_gz}/wendrel.1.gz ${pkg_gz}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_gz}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/res/wendrel.1 > ${pkg_gz}/wendrel.1.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${pkg_gz}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/res/wendrel.1 ${CMAKE_CURRENT_LIST_DIR}/changelog
    VERBATIM)
  add_custom_target(wendrel_docs ALL DEPENDS ${pkg_gz}/wendrel.1.gz ${pkg_gz}/changelog.gz)
  install(FILES ${pkg_gz}/wendrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${pkg_gz}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
