# The Debian package: `cpack -G DEB` in the build folder (scripts/package
# runs it after a Release build) writes tarnex_<version>_<arch>.deb holding
# /usr/bin/tarnex, /usr/share/applications/tarnex.desktop and the icon.
# Package a build with static layers (the default): with
# TARNEX_SHARED_LAYERS the program needs layer libraries it does not install.
set(CPACK_PACKAGE_NAME tarnex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarnex developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP client with a transcript of the FTP dialogue")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnex keeps connection profiles, lists and changes remote directories and\n"
    "gets, puts and views files, showing every command and reply. Files dropped\n"
    "on its launcher are uploaded unattended with the last-used profile.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(TARNEX_MAINTAINER "Tarnex developers <tarnex@localhost>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TARNEX_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies, named by the Debian 12 packages that hold the
# libraries the program links (the xcb platform plugin is in libqt6gui6).
set(tarnex_debian_depends
    "libc6 (>= 2.34)"
    "libstdc++6 (>= 12)"
    "libgcc-s1"
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)")
# TLS: add "libssl3" here when the program links OpenSSL.
list(JOIN tarnex_debian_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
