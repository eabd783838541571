# SPDX-License-Identifier: MIT
# Debian packages, built by `cpack -G DEB` in the build folder: the module
# (plug-in and translations), its headers for integrators, and the demo.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the libraries land in
# Debian's multiarch folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlan2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vorlan2 developers")
set(CPACK_PACKAGE_CONTACT "Vorlan2 developers <vorlan2@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL module dev demo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# dpkg-shlibdeps derives the Depends on every library a binary links, Qt's
# (libqt5core5a, libqt5gui5, libqt5widgets5, and for the plug-in libqt5svg5
# and libqt5multimedia5), libc's and libstdc++'s, with the versions they
# need; the lists below add what no binary shows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every Debian package carries its licence as /usr/share/doc/<package>/copyright.
foreach(package module:vorlan2 dev:vorlan2-dev demo:vorlan2-workstation)
    string(REPLACE ":" ";" package "${package}")
    list(GET package 0 component)
    list(GET package 1 name)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} RENAME copyright COMPONENT ${component})
endforeach()

set(CPACK_DEBIAN_MODULE_PACKAGE_NAME vorlan2)
set(CPACK_DEBIAN_MODULE_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_MODULE_DESCRIPTION
    "Traffic-light controller panels for a control centre's operator workstation
A Qt 5 plug-in that gives the workstation one dockable control panel per
traffic-light controller: dispatch control, flashing yellow, dark mode,
restart and signal stages, with an inactivity watchdog that warns the
operator and hands an idle controller back to local mode.

Includes the German and Russian translations of the panels.")
# The alarm plays through the multimedia library's own sound-server client;
# its plug-ins add further audio back ends.
set(CPACK_DEBIAN_MODULE_PACKAGE_RECOMMENDS "libqt5multimedia5-plugins")

# Headers only: what a host implements and hands to the module. Kept out of
# the module package so that operator workstations carry no build files.
set(CPACK_DEBIAN_DEV_PACKAGE_NAME vorlan2-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Controller interface of the Vorlan2 traffic-light panels
The headers of the host-side classes the Vorlan2 plug-in works with: the
controller base class Helvor::Light, the command response and its
request. For integrators who build a host application for the module.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev (>= 5.15)")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME vorlan2-workstation)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_DEMO_DESCRIPTION
    "Demonstration operator workstation for the Vorlan2 panels
A small workstation that loads the Vorlan2 plug-in as a real host does and
runs it on seven simulated intersections, with their junction plans.")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "vorlan2 (= ${PROJECT_VERSION})")
# Qt's own texts (dialog buttons) in the operator's language.
set(CPACK_DEBIAN_DEMO_PACKAGE_RECOMMENDS "qttranslations5-l10n")
include(CPack)
