#!/usr/bin/env bash
# Runs every test: unit tests of each layer, the Qt view offscreen, and the
# interop tests against a real SMTP server (aiosmtpd) and Python's email parser.
# Compiler warnings are errors here.
# Then runs the whole suite once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/test-sanitized.sh, a build folder of its
# own; SENDRIX_SKIP_SANITIZE=1 leaves it out), and builds and checks the
# Debian package (scripts/package.sh): it is a second build without tests,
# lintian, and the demo mailing from the installed files.
# SENDRIX_SKIP_PACKAGE=1 leaves the package out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DSENDRIX_WERROR=ON
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" --timeout 600
if [ "${SENDRIX_SKIP_SANITIZE:-0}" != 1 ]; then
  bash scripts/test-sanitized.sh
fi
if [ "${SENDRIX_SKIP_PACKAGE:-0}" != 1 ]; then
  bash scripts/package.sh
fi
