#!/bin/sh
# Whole-process time of `wymap render` of a 1024 x 768 view (zoom 13, Paris)
# from a warm disk cache: map_bench writes the view's tiles into a temporary
# cache folder, one untimed run warms the system's file cache, then RUNS
# timed runs; the median is printed. The tile address is a refused loopback
# port, so a tile missing from the cache would fail at once and nothing
# leaves the machine.
#
#   bench/wymap_render_time.sh BUILD_DIR [RUNS]
#
# BUILD_DIR: a Release build configured with -DWY_BUILD_BENCH=ON.
set -eu
build=${1:?usage: wymap_render_time.sh BUILD_DIR [RUNS]}
runs=${2:-11}
cache=$(mktemp -d)
trap 'rm -rf "$cache"' EXIT INT TERM
"$build/bench/map_bench" --write-tiles "$cache" >/dev/null
export QT_QPA_PLATFORM=offscreen

render() {
  "$build/tools/wymap" render --lat 48.8566 --lng 2.3522 --zoom 13 --size 1024x768 \
    --cache "$cache" --tile-url 'http://127.0.0.1:1/{z}/{x}/{y}.png' -o "$cache/out.png"
}

render
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  render
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
done | sort -n | awk '{ t[NR] = $1 }
  END { printf "wymap render 1024x768, warm disk cache: median %.1f ms of %d runs (min %.1f, max %.1f)\n",
        t[int((NR + 1) / 2)] / 1000, NR, t[1] / 1000, t[NR] / 1000 }'
