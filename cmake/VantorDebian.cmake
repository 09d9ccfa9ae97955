# SPDX-License-Identifier: MIT
# The Debian package: `cpack` in the build folder makes vantor-panel_<version>-<release>_<arch>.deb
# from the install rules. Included by packaging/CMakeLists.txt, which sets the VANTOR_DEB_*
# values.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VANTOR_DEB_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The Vantor Control Panel developers")
set(CPACK_PACKAGE_CONTACT "${VANTOR_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for the Vantor PoE evaluation board")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTOR_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTOR_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Appended to what dpkg-shlibdeps finds for the executables' libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VANTOR_DEB_EXTRA_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${VANTOR_DEB_RECOMMENDS}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Reads, watches and configures the Vantor evaluation board, an eight-port
Power over Ethernet power-sourcing controller behind a bridge
microcontroller, over one RS-232 link at 19200 bit/s. The panel shows each
port's state, faults, class, currents, voltage and power, writes the system
and port settings back, and refreshes the port status twice a second.

The package also carries vantor-sim, a simulated board on a pseudo-terminal,
so the panel can be tried without hardware: vantor-panel --demo.]=])

# Source packages come from git; keep build folders out should anyone run package_source.
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build/" "/out/" "/Testing/")

include(CPack)
