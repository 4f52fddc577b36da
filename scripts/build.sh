#!/usr/bin/env bash
# Configures (once) and builds wymap.
#   scripts/build.sh [--asan|--tsan|--release] [extra cmake arguments]
# Build folders: build/ (debug), build-asan/, build-tsan/, build-release/.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
args=(-DCMAKE_BUILD_TYPE=Debug)
case "${1:-}" in
  --asan) dir=build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DWY_SANITIZE=ON); shift ;;
  --tsan) dir=build-tsan; args=(-DCMAKE_BUILD_TYPE=Debug -DWY_TSAN=ON); shift ;;
  --release) dir=build-release; args=(-DCMAKE_BUILD_TYPE=Release -DWY_BUILD_BENCH=ON); shift ;;
esac

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${args[@]}" "$@"
fi
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
