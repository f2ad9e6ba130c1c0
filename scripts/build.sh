#!/usr/bin/env bash
# Sets up and builds the programs, the Python module and the tests into build/, starting nothing.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}"
q390_build "$q390_root/build"
echo "built: $q390_root/build/q390, build/src/dat/q390-dat, build/src/rec/q390-rec, build/src/python (the q390 module)"
