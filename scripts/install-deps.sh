#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running wymap need,
# and only those that are missing. Safe to run again.
#   scripts/install-deps.sh [--fuzz]   (--fuzz: also the fuzzing compiler)
set -euo pipefail

PACKAGES=(
  # toolchain and build
  g++ make cmake ninja-build pkg-config ccache
  # libraries
  qt6-base-dev qt6-svg-dev libcurl4-openssl-dev libpng-dev libjpeg-dev zlib1g-dev libminizip-dev libsqlite3-dev
  # vector tiles: protocol buffers and style documents
  libprotozero-dev nlohmann-json3-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  # test-only checkers of exported files (strict XML, JSON, a GIS reader, PDF;
  # GDAL's MVT writer also makes the vector test town)
  libxml2-utils jq gdal-bin poppler-utils
  # running the window without a desktop, and its font
  xvfb xauth fonts-dejavu-core
)

# Fuzzing by hand (scripts/fuzz.sh): clang with libFuzzer.
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
