#!/usr/bin/env bash
# Builds the Debian package build-package/q390_<version>_<arch>.deb with CPack, its
# library dependencies taken from the binaries.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_package_tools[@]}"
dir="$q390_root/build-package"
# Debian's hardening flags, as a package built by Debian's own tools gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$q390_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target q390 q390-dat q390-data
rm -f "$dir"/q390_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/q390_*.deb
