#!/usr/bin/env bash
# The main job: builds Sendrix and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
exec "$BUILD_DIR/src/sendrix" "$@"
