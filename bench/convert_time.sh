#!/bin/sh
# Whole-process time and peak memory of `wymap convert` on a GPX track of
# POINTS points (default 500,000, about 50 MB, each point with an elevation
# and a time), for three conversions: GPX to GeoJSON, GPX to GPX, and KML
# (the same track as a timed gx:Track) to GeoJSON. Median time and largest
# peak resident memory of RUNS runs after one untimed run. When gpsbabel or
# ogr2ogr are installed they convert the same files in the same run,
# taking turns with wymap, for comparison (neither is needed by wymap or its
# tests). Peak memory comes from /usr/bin/time when it is there.
#
#   bench/convert_time.sh BUILD_DIR [RUNS] [POINTS]
#
# BUILD_DIR: a Release build (scripts/build.sh --release).
set -eu

# Conversions, each "case tool": the input, the output, the command.
run_case() {
  case $1 in
    gpx-geojson:wymap) "$build/tools/wymap" convert "$work/track.gpx" "$work/out.geojson" ;;
    gpx-geojson:gpsbabel) gpsbabel -i gpx -f "$work/track.gpx" -o geojson -F "$work/out.geojson" ;;
    gpx-geojson:ogr2ogr) rm -f "$work/out.geojson" && ogr2ogr -f GeoJSON "$work/out.geojson" "$work/track.gpx" tracks ;;
    gpx-gpx:wymap) "$build/tools/wymap" convert "$work/track.gpx" "$work/out.gpx" ;;
    gpx-gpx:gpsbabel) gpsbabel -i gpx -f "$work/track.gpx" -o gpx -F "$work/out.gpx" ;;
    gpx-gpx:ogr2ogr) rm -f "$work/out.gpx" && ogr2ogr -f GPX "$work/out.gpx" "$work/track.gpx" tracks ;;
    kml-geojson:wymap) "$build/tools/wymap" convert "$work/track.kml" "$work/out.geojson" ;;
    kml-geojson:gpsbabel) gpsbabel -i kml -f "$work/track.kml" -o geojson -F "$work/out.geojson" ;;
    kml-geojson:ogr2ogr) rm -f "$work/out.geojson" && ogr2ogr -f GeoJSON "$work/out.geojson" "$work/track.kml" ;;
  esac
}

# One conversion, run under /usr/bin/time by the loop below.
if [ "${1:-}" = --one ]; then
  build=$2 work=$3
  run_case "$4"
  exit
fi

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
awk -v n="$points" 'BEGIN {
  print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
  print "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>"
  print "<Placemark><name>bench</name><gx:Track><altitudeMode>absolute</altitudeMode>"
  for (i = 0; i < n; i++) {
    s = i % 86400
    printf "<when>2024-05-01T%02d:%02d:%02dZ</when>\n", int(s / 3600), int(s / 60) % 60, s % 60
  }
  for (i = 0; i < n; i++)
    printf "<gx:coord>%.9f %.9f %.1f</gx:coord>\n", 5 + i * 0.0000013,
      45 + i * 0.000001 + (i % 7) * 0.0000001, 200 + (i % 500) * 0.5
  print "</gx:Track></Placemark></Document></kml>"
}' >"$work/track.kml"
gpx_mb=$(du -m "$work/track.gpx" | cut -f1)
kml_mb=$(du -m "$work/track.kml" | cut -f1)

timer=""
[ -x /usr/bin/time ] && timer="/usr/bin/time -f %M -o $work/rss"
set -- wymap
command -v gpsbabel >/dev/null 2>&1 && set -- "$@" gpsbabel
command -v ogr2ogr >/dev/null 2>&1 && set -- "$@" ogr2ogr

for conversion in gpx-geojson gpx-gpx kml-geojson; do
  case $conversion in
    kml-*) size=$kml_mb ;;
    *) size=$gpx_mb ;;
  esac
  for tool in "$@"; do
    run_case "$conversion:$tool" >/dev/null 2>&1 || echo "$conversion $tool: failed"
    : >"$work/$tool.times"
    : >"$work/$tool.rss"
  done
  # The programs take turns, one run each per round, so that a machine whose
  # speed drifts (a shared one) slows them alike; then each one's median.
  for _ in $(seq "$runs"); do
    for tool in "$@"; do
      start=$(date +%s%N)
      if [ -n "$timer" ]; then
        $timer sh "$0" --one "$build" "$work" "$conversion:$tool" >/dev/null 2>&1 || true
      else
        run_case "$conversion:$tool" >/dev/null 2>&1 || true
      fi
      end=$(date +%s%N)
      echo $(((end - start) / 1000)) >>"$work/$tool.times"
      [ -n "$timer" ] && cat "$work/rss" >>"$work/$tool.rss"
    done
  done
  for tool in "$@"; do
    rss=$(sort -n "$work/$tool.rss" | tail -1)
    sort -n "$work/$tool.times" | awk -v label="$conversion $tool" -v size="$size" \
      -v points="$points" -v rss="${rss:-0}" '
      { t[NR] = $1 }
      END { printf "%-22s %d points (%d MB): median %.0f ms of %d runs (min %.0f, max %.0f), peak %.0f MB\n",
            label, points, size, t[int((NR + 1) / 2)] / 1000, NR, t[1] / 1000, t[NR] / 1000, rss / 1024 }'
  done
done
