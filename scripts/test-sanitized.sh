#!/usr/bin/env bash
# Builds the whole tree once more with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of its own (build-sanitize/,
# or $SANITIZE_BUILD_DIR) and runs every test there; any finding ends the
# program that made it with an error, so the test fails. scripts/test.sh
# calls it after the normal suite.
# Warnings are not errors in this build: GCC 12 reports a false -Wrestrict
# in std::string code once the sanitizers are on.
set -euo pipefail
cd "$(dirname "$0")/.."
SANITIZE_BUILD_DIR=${SANITIZE_BUILD_DIR:-build-sanitize}
begin=$(date +%s)
BUILD_DIR=$SANITIZE_BUILD_DIR bash scripts/build.sh -DSENDRIX_SANITIZE=ON -DSENDRIX_WERROR=OFF
export QT_QPA_PLATFORM=offscreen
# Leaks are not findings here: Qt, GLib and the keyring library keep
# process-wide caches until the end on purpose.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$SANITIZE_BUILD_DIR" --output-on-failure --parallel "$(nproc)" --timeout 1200
echo "Sanitizer build and tests: $(( $(date +%s) - begin )) s"
