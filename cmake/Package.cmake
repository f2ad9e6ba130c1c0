# The Debian packages, one per install component: q390 (the programs) and python3-q390 (the
# Python module). scripts/package.sh runs cpack on a build configured for /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL q390 python)
set(CPACK_PACKAGE_NAME q390)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack would put one summary in front of every package's description; each starts with its
# own synopsis instead.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_CONTACT "${Q390_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${Q390_HOMEPAGE}")
# The first line is the synopsis; CPack indents the others and marks the empty one.
set(CPACK_DEBIAN_Q390_DESCRIPTION "front end of the Q390 eight-channel data-acquisition unit
The Q390 is an eight-channel, 12-bit data-acquisition unit on a PC serial port.
This program clocks the converter's serial interface through the port's
modem-control lines and draws each sweep of 8192 conversions as a trace over
a grid; it saves sweeps to data files, loads them back and prints them. With
the port closed a built-in simulated converter answers.

q390-dat turns the data files into CSV with codes, volts and time, a summary,
labelled PNG plots, PDF pages or sessions that sigrok-cli and PulseView open.
q390-rec records sweeps without a window, from a script or a shell: one
channel or several in turn, paced and triggered, into a folder of data files
with an index, into one HDF5 file that h5py, MATLAB and h5dump read while it
grows, or as CSV on standard output.")
# The libraries come from the binaries (libhdf5 and its high-level library among them); the
# window's Chinese captions need a CJK font; HDF5's tools and h5py read the recordings. The
# Chinese texts of Qt's dialogs, and the completions of the tools' options, which nothing loads
# without bash-completion, are worth having.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_Q390_PACKAGE_NAME q390)
set(CPACK_DEBIAN_Q390_PACKAGE_DEPENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_Q390_PACKAGE_RECOMMENDS "qt6-translations-l10n, bash-completion")
# What reads the recordings (HDF5's tools, h5py) and opens q390-dat's sessions (libzip, which
# writes them, comes from the binaries).
set(CPACK_DEBIAN_Q390_PACKAGE_SUGGESTS "hdf5-tools, python3-h5py, pulseview, sigrok-cli")

# The module is built for one Python version, the one it names in its file name.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-q390)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next}), python3-numpy")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python module for the Q390 eight-channel data-acquisition unit
The Q390 is an eight-channel, 12-bit data-acquisition unit on a PC serial port.
The q390 module takes sweeps of 8192 conversions from it (or from the built-in
simulated converter, or through an FTDI chip in bit-bang mode) and reads and
writes its data files, as NumPy arrays of codes and volts, through the same
code as the q390 program.")
include(CPack)
