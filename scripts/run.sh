#!/usr/bin/env bash
# Sets up, builds and starts the program.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" xauth
q390_build "$q390_root/build"
exec "$q390_root/build/q390" "$@"
