#!/usr/bin/env bash
# Sets up, checks the Windows build files and the libraries' includes, builds and runs every
# test, then builds them again with AddressSanitizer and UndefinedBehaviorSanitizer and runs them
# there too; last, builds the Debian package and checks it.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_test_packages[@]}" "${q390_package_tools[@]}"
"$q390_root/scripts/windows-check.sh"
# The libraries' dependencies point down; the check must also catch a widget in the core.
"$q390_root/scripts/check-includes.sh"
wrong=$(mktemp -d)
cp -r "$q390_root/src" "$wrong/"
echo '#include <QWidget>' >>"$wrong/src/core/system/Failure.h"
if "$q390_root/scripts/check-includes.sh" "$wrong" 2>/dev/null; then
  echo "FAILED: the include check let a widget into the core" >&2
  exit 1
fi
rm -rf "$wrong"
# The release build is the one the package is made from, so it is built once.
q390_package_configuration
q390_build "$q390_root/build" "${q390_package_args[@]}"
(cd "$q390_root/build" && ctest --output-on-failure -j"$(nproc)")
q390_build "$q390_root/build-asan" -DQ390_SANITIZE=ON -DQ390_BENCH=OFF
(cd "$q390_root/build-asan" && ctest --output-on-failure -j"$(nproc)")

# The package: its menu entry and metainfo valid, no lintian errors, and exactly the files
# that `cmake --install` puts in (the list the install test holds it to).
"$q390_root/scripts/package.sh" "$q390_root/build"
deb=$(ls "$q390_root"/build-package/q390_*.deb)
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/q390.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"
diff -u <(sort "$q390_root/build/tests/install/files.txt") \
  <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, checked"
