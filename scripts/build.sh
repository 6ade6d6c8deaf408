#!/usr/bin/env bash
# Installs what is missing, configures and builds into build/ (or $BUILD_DIR).
# Arguments are CMake options (-DSENDRIX_WERROR=ON); given any, the build
# folder is configured again with them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/build.ninja" ] || [ $# -gt 0 ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
