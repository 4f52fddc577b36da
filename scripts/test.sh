#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh            debug build in build/
#   scripts/test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
#   scripts/test.sh --tsan     ThreadSanitizer in build-tsan/ (run by hand)
# Extra arguments after the mode go to ctest (e.g. -R Geo).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=()
dir=build
case "${1:-}" in
  --asan) mode=(--asan); dir=build-asan; shift ;;
  --tsan) mode=(--tsan); dir=build-tsan; shift ;;
esac

scripts/install-deps.sh
scripts/build.sh "${mode[@]}" >/dev/null

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/.ci/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=$PWD/.ci/tsan.supp}"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
