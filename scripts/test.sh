#!/usr/bin/env bash
# Sets up, checks the Windows build files and the libraries' includes, builds and runs every
# test, then builds them again with AddressSanitizer and UndefinedBehaviorSanitizer and runs them
# there too; builds the Debian package and checks it; last, builds the Windows packages (Qt for
# MinGW once, then from its cache) and checks them under Wine against the Linux build.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_test_packages[@]}" "${q390_package_tools[@]}" "${q390_windows_packages[@]}"
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

# The packages: no lintian errors, and exactly the files that `cmake --install` puts in for
# each (the lists the install test holds it to); the program's menu entry and metainfo valid,
# the module importable by Debian's Python from the package's files and reading a data file.
"$q390_root/scripts/package.sh" "$q390_root/build"
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
for package in q390:files python3-q390:python3-q390; do # package:its list
  deb=$(ls "$q390_root"/build-package/"${package%%:*}"_*.deb)
  dpkg-deb -x "$deb" "$contents"
  lintian --fail-on error "$deb"
  diff -u <(sort "$q390_root/build/tests/install/${package#*:}.txt") \
    <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
  echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, checked"
done
dpkg-deb -f "$q390_root"/build-package/q390_*.deb Recommends | grep -qw bash-completion
desktop-file-validate "$contents"/usr/share/applications/q390.desktop
# The data files' type: a MIME database takes it, and a sweep's name is of that type.
mkdir -p "$contents/mime/packages"
cp "$contents"/usr/share/mime/packages/q390.xml /usr/share/mime/packages/freedesktop.org.xml "$contents/mime/packages/"
update-mime-database "$contents/mime" >/dev/null # its exit status tells nothing; the type it made does
grep -qx '40:application/x-q390-sweep:\*\.dat' "$contents/mime/globs2"
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
head -c 16384 /dev/zero >"$contents/zero.dat"
/usr/bin/python3 -I -c "import sys; sys.path.insert(0, '$contents/usr/lib/python3/dist-packages'); import q390; \
  print('python3-q390', q390.__version__, 'from', q390.__file__, 'reads', q390.read('$contents/zero.dat').volts.mean())"

# Windows, under Wine: its build and checks name themselves when they fail.
windows_start=$(date +%s)
"$q390_root/scripts/windows.sh" || { echo "FAILED: the Windows build and packages (scripts/windows.sh)" >&2; exit 1; }
"$q390_root/scripts/windows-test.sh"
echo "Windows packages built and checked under Wine in $(($(date +%s) - windows_start)) s"
