#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR): everything, or only the targets named
# (scripts/build.sh veltrocrm demo_server).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# VELTRO_WERROR=ON fails the build on any warning, as CI does.
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRO_WARNINGS_AS_ERRORS="${VELTRO_WERROR:-OFF}"
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$BUILD_DIR" -j"$(nproc)" "${targets[@]}"
