#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}"
q390_build "$q390_root/build"
cd "$q390_root/build"
ctest --output-on-failure -j"$(nproc)"
