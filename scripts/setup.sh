#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, when run as root and when
# something is missing. Sourced by run.sh and test.sh.
set -euo pipefail

q390_packages=(
  build-essential cmake
  qt6-base-dev qt6-serialport-dev libqt6serialport6 qt6-translations-l10n
  googletest libgtest-dev libgmock-dev
  pkg-config libftdi1-dev libusb-1.0-0-dev  # FTDI chips in synchronous bit-bang mode
  libcups2-dev          # printing through CUPS, which gives the spooler's answer
  libzip-dev            # q390-dat's sessions for sigrok's tools
  libhdf5-dev           # recordings in one HDF5 file
  fonts-noto-cjk        # the window's captions are Chinese
  poppler-utils         # tests render printed PDFs to pixels
  pybind11-dev python3-dev python3-numpy  # the Python module, for Debian's own Python
  python3-venv python3-pip python3-setuptools python3-wheel  # pip install . (pyproject.toml), offline
)

# Building and checking the Debian package.
q390_package_tools=(
  dpkg-dev file fakeroot lintian desktop-file-utils appstream shared-mime-info
)
# What the tests need beyond building and running.
q390_test_packages=(
  xvfb xauth x11-utils  # window titles are checked on a real X server
  binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64 # the Windows build files are checked
  cups printer-driver-cups-pdf  # a real print spooler for the print test
  python3-pytest        # the Python module's tests
  sigrok-cli            # q390-dat's sessions are read back by sigrok's own tool
  python3-h5py hdf5-tools  # recordings in one HDF5 file read as their users read them
  mypy                  # the installed package's types are found
)

# Building for Windows (MinGW-w64, Qt from Debian's source, NSIS) and running it under Wine, with
# an X server for the window, driven and looked at there.
q390_windows_packages=(
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 ninja-build dpkg-dev nsis zip
  wine64 unzip xvfb xauth x11-utils xdotool imagemagick fonts-noto-cjk
  python3-h5py hdf5-tools  # a recording written under Wine read with Linux's readers
)

q390_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

q390_install() {
  local missing
  missing=$(q390_missing "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: $missing (run as root to install them with apt-get)" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
}

# Fetches and unpacks Debian's source package NAME at VERSION into the current folder, from the
# source of the Debian archive the machine already uses (enabled here when it is not yet).
q390_debian_source() { # name version
  if [ ! -f /etc/apt/sources.list.d/q390-deb-src.sources ] && ! apt-get source --print-uris "$1" >/dev/null 2>&1; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/q390-deb-src.sources
    apt-get update -qq
  fi
  apt-get source -qq "$1=$2"
}

q390_build() { # build-dir [extra cmake args...]
  local dir=$1
  shift
  cmake -S "$q390_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# How a build that is packaged is configured: installed under /usr, with Debian's hardening
# flags, as a package built by Debian's own tools gets them (dpkg-buildflags: dpkg-dev).
q390_package_configuration() {
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  q390_package_args=(
    -DCMAKE_INSTALL_PREFIX=/usr
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
    "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
  )
}

# The Linux build (with the emulated port) and the Windows packages that the Wine checks and
# the Wine benchmark run side by side, in $linux and $build; each built when it is not there.
q390_wine_builds() {
  q390_install "${q390_packages[@]}" "${q390_windows_packages[@]}"
  export LC_ALL=C.UTF-8
  linux=$q390_root/build
  build=$q390_root/build-win
  [ -f "$linux/CMakeCache.txt" ] || cmake -S "$q390_root" -B "$linux" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$linux" --target q390 q390-dat q390-rec q390winecom -j"$(nproc)" >/dev/null
  [ -f "$build/q390-1.00-setup.exe" ] || "$q390_root/scripts/windows.sh"
}

q390_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
