#!/usr/bin/env bash
# Checks the installed package from the outside: installs the debug build
# (scripts/build.sh) into a scratch prefix, builds examples/hello_map against
# it twice (CMake's find_package and pkg-config), and runs both, each drawing
# the offline map into a PNG from its window, and into a PDF without one.
#   scripts/check-install.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/wymap/map/map_control.h"
test ! -e "$prefix/include/wymap/map/detail"
test -f "$prefix/include/wymap/wymap.h"
# Installed headers reach each other as <wymap/...> only.
if grep -rEn '#include "(platform|geo|formats|tiles|graphics|services|shapes|map)/' \
    "$prefix/include/wymap"; then
  echo "installed headers still include project paths in quotes" >&2
  exit 1
fi

export QT_QPA_PLATFORM=offscreen
cmake -S examples/hello_map -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/hello_map" --grab "$scratch/cmake.png"
"$scratch/cmake/hello_map" --picture "$scratch/cmake.pdf"
if command -v pdfinfo >/dev/null; then pdfinfo "$scratch/cmake.pdf" | grep -q "480 x 360 pts"; fi

PKG_CONFIG_PATH="$prefix/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}" \
  c++ -fPIC examples/hello_map/main.cpp -o "$scratch/hello_pc" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs wymap)
"$scratch/hello_pc" --grab "$scratch/pc.png"
"$scratch/hello_pc" --picture "$scratch/pc.svg"
if command -v xmllint >/dev/null; then xmllint --noout "$scratch/pc.svg"; fi
echo "installed package: find_package and pkg-config builds draw the map"
