#!/usr/bin/env bash
# Sets up, checks the Windows build files, builds and runs every test, then builds them again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them there too.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_test_packages[@]}"
"$q390_root/scripts/windows-check.sh"
q390_build "$q390_root/build"
(cd "$q390_root/build" && ctest --output-on-failure -j"$(nproc)")
q390_build "$q390_root/build-asan" -DQ390_SANITIZE=ON
(cd "$q390_root/build-asan" && ctest --output-on-failure -j"$(nproc)")
