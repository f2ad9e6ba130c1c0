# The Debian package: scripts/package.sh runs cpack on a build configured for /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME q390)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front end of the Q390 eight-channel data-acquisition unit")
set(CPACK_PACKAGE_CONTACT "${Q390_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${Q390_HOMEPAGE}")
# The synopsis is the summary above; CPack indents these lines and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The Q390 is an eight-channel, 12-bit data-acquisition unit on a PC serial port.
This program clocks the converter's serial interface through the port's
modem-control lines and draws each sweep of 8192 conversions as a trace over
a grid; it saves sweeps to data files, loads them back and prints them. With
the port closed a built-in simulated converter answers.

q390-dat turns the data files into CSV with codes and volts, a summary, a
PNG picture of the plot or a PDF of the printed page. q390-rec records sweeps
without a window, from a script or a shell: one channel or several in turn,
into a folder of data files with an index or as CSV on standard output.")
# The libraries come from the binaries; the window's Chinese captions need a CJK font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
