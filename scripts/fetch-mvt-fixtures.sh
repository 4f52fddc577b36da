#!/usr/bin/env bash
# Refreshes the vector tile conformance fixtures in tests/tiles/data/mvt-fixtures
# from the npm package @mapbox/mvt-fixtures (test data only, CC0 1.0).
set -euo pipefail
cd "$(dirname "$0")/.."
version=${1:-4.0.0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "@mapbox/mvt-fixtures@$version" >/dev/null && tar xzf ./*.tgz)
out=tests/tiles/data/mvt-fixtures
for fixture in "$work"/package/fixtures/*/; do
  name=$(basename "$fixture")
  mkdir -p "$out/$name"
  cp "$fixture"/tile.mvt "$fixture"/tile.json "$fixture"/info.json "$out/$name/"
done
cp "$work"/package/LICENSE-CC0-1.0.md "$out/"
echo "$out"
