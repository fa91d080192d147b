# The Debian package, made by CPack from the install rules:
#   cpack --config <build>/CPackConfig.cmake  ->  <build>/package/tevo-logviewer_<version>_<arch>.deb
# Shared-library dependencies are computed by dpkg-shlibdeps; only what no
# tool can see is named here: the Japanese font the screens are drawn with.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tevo-logviewer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tevo LogViewer developers")
set(CPACK_PACKAGE_CONTACT "${TEVO_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_TEVO_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip_programs.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPS log viewer of a small in-car device")
set(CPACK_PACKAGE_DESCRIPTION
  "Tevo LogViewer shows the daily NMEA logs of an in-car GPS recorder: a month
calendar of the days that have a log, and a day's drive as red dots with start
and end flags over a road map that it draws itself from the device's map
database, dragged and zoomed over 27 scale steps. It deletes logs after a
confirmation, sets the recording time and shows the card's free space. The
screens are those of the device: 480 x 272 pixels, in Japanese.
.
The package holds the viewer (tevo-logviewer), its command-line companion
(tevo-logtool), which also makes a demo device from simulated drives and the
real receiver logs shipped with it, a stand-in for the device's main menu
(tevo-mainmenu), and the recorder (tevo-recorder), which records the day logs
from a GPS receiver through gpsd while the recording time set on the settings
screen lasts.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TEVO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TEVO_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
# tevo-mapbuild --osm runs osmcoastline to tell an extract's land from its
# sea; only building maps from OSM needs it (or land polygons with --land).
# tevo-recorder records what gpsd serves; only recording needs it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osmcoastline, gpsd")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
