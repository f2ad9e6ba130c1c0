#!/usr/bin/env bash
# Builds the Debian packages build-package/q390_<version>_<arch>.deb (the programs) and
# python3-q390_<version>_<arch>.deb (the Python module) with CPack, their library dependencies
# taken from the binaries. Given a build folder configured the package's
# way (scripts/test.sh's release build is), it packages that build instead of making its own.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_package_tools[@]}"
q390_package_configuration
out="$q390_root/build-package"
if [ $# -gt 0 ]; then
  dir=$1
else
  dir=$out
  cmake -S "$q390_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${q390_package_args[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target q390 q390-dat q390-rec q390-data q390-python
fi
mkdir -p "$out"
rm -f "$out"/q390_*.deb "$out"/python3-q390_*.deb
(cd "$dir" && cpack -G DEB -B "$out" >/dev/null)
ls "$out"/q390_*.deb "$out"/python3-q390_*.deb
