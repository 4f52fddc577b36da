#!/bin/sh
# Whole-process time of `wymap convert track.gpx track.geojson` on a GPX
# track of POINTS points (default 500,000, about 50 MB, each point with an
# elevation and a time), median of RUNS runs after one untimed run. When
# gpsbabel or ogr2ogr are installed they convert the same file in the same
# run, taking turns with it, for comparison (neither is needed by wymap or
# its tests).
#
#   bench/convert_time.sh BUILD_DIR [RUNS] [POINTS]
#
# BUILD_DIR: a Release build (scripts/build.sh --release).
set -eu
build=${1:?usage: convert_time.sh BUILD_DIR [RUNS] [POINTS]}
runs=${2:-5}
points=${3:-500000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
export QT_QPA_PLATFORM=offscreen

awk -v n="$points" 'BEGIN {
  print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
  print "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
  print "<trk><name>bench</name><trkseg>"
  for (i = 0; i < n; i++) {
    s = i % 86400
    printf "<trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%.1f</ele><time>2024-05-01T%02d:%02d:%02dZ</time></trkpt>\n",
      45 + i * 0.000001 + (i % 7) * 0.0000001, 5 + i * 0.0000013, 200 + (i % 500) * 0.5,
      int(s / 3600), int(s / 60) % 60, s % 60
  }
  print "</trkseg></trk></gpx>"
}' >"$work/track.gpx"
size=$(du -m "$work/track.gpx" | cut -f1)

# The programs take turns, one run each per round, so that a machine whose
# speed drifts (a shared one) slows them alike; then each one's median.
set -- wymap
command -v gpsbabel >/dev/null 2>&1 && set -- "$@" gpsbabel
command -v ogr2ogr >/dev/null 2>&1 && set -- "$@" ogr2ogr

run_tool() {
  case $1 in
    wymap) "$build/tools/wymap" convert "$work/track.gpx" "$work/wymap.geojson" ;;
    gpsbabel) gpsbabel -i gpx -f "$work/track.gpx" -o geojson -F "$work/gpsbabel.geojson" ;;
    ogr2ogr) rm -f "$work/ogr.geojson" && ogr2ogr -f GeoJSON "$work/ogr.geojson" "$work/track.gpx" tracks ;;
  esac
}

label() {
  case $1 in
    wymap) echo "wymap convert track.gpx track.geojson" ;;
    gpsbabel) echo "gpsbabel -i gpx -o geojson" ;;
    ogr2ogr) echo "ogr2ogr -f GeoJSON (tracks layer)" ;;
  esac
}

for tool in "$@"; do
  run_tool "$tool" >/dev/null 2>&1 || echo "$(label "$tool"): failed"
done
for _ in $(seq "$runs"); do
  for tool in "$@"; do
    start=$(date +%s%N)
    run_tool "$tool" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000)) >>"$work/$tool.times"
  done
done
for tool in "$@"; do
  sort -n "$work/$tool.times" | awk -v label="$(label "$tool")" -v size="$size" -v points="$points" '
    { t[NR] = $1 }
    END { printf "%s, %d points (%d MB): median %.0f ms of %d runs (min %.0f, max %.0f)\n",
          label, points, size, t[int((NR + 1) / 2)] / 1000, NR, t[1] / 1000, t[NR] / 1000 }'
done
