#!/usr/bin/env bash
# Runs every test: unit tests of each layer, the Qt view offscreen, and the
# interop tests against a real SMTP server (aiosmtpd) and Python's email parser.
# Compiler warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DSENDRIX_WERROR=ON
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" --timeout 600
