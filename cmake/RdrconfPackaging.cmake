# The Debian package, built with "cpack" in a build configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/package does so). It holds everything
# "cmake --install" lays out, the sqliteprovider library and its development
# files included.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rdrconf)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "RDRCONF maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The summary is the first line of the package description; this is the rest.
set(CPACK_PACKAGE_DESCRIPTION
  "Sets the card type, the card number format, the reading mode, the Enter
after each number and the power saving of the attached reader. Ships a udev
rule that lets the user logged in at the seat open the reader without root
rights, and the sqliteprovider library with its development files.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME rdrconf)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RDRCONF maintainers <maintainers@users.noreply.c-seed-2a896317.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the linked libraries. What they cannot see:
# the Qt platform plugins (loaded at run time) and the fonts the window needs,
# Carlito for its "Calibri" texts and a CJK font for the Chinese ones.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, fonts-wqy-microhei | fonts-noto-cjk, fonts-crosextra-carlito")
# The package carries a shared library: register it with ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
