#!/usr/bin/python3
"""Track figures of wymap next to those of gpxpy on one realistic track.

Makes a synthetic mountain hike (4 h at one point a second: a winding climb
of about 900 m with rolling ground, 20 minutes at the summit, a descent
with a 5-minute stop). Receiver errors as they behave: a slow drift (about
2 m in position and 3 m in elevation, correlated over half a minute) plus
a little jitter from fix to fix (0.2 m and 1 m).
writes it as GPX and as CSV (lat,lng,ele,time), then prints distance,
duration, moving time, ascent and descent as computed by
  - track_bench --stats-csv (the library on the CSV, times included),
  - wymap stats --json on the GPX (the whole path through the file reader),
  - python3-gpxpy on the GPX.
Usage: bench/track_compare.py [BUILD_DIR] (default build-release); keeps
the files in /tmp/wymap-track-compare/.
"""
import json
import math
import os
import random
import subprocess
import sys
import datetime

import gpxpy

OUT = "/tmp/wymap-track-compare"
M_PER_DEG_LAT = 111132.0


def make_track(seed=28):
    rnd = random.Random(seed)
    lat, lng = 45.90, 6.80
    heading = 0.6
    t0 = datetime.datetime(2024, 7, 14, 7, 0, 0, tzinfo=datetime.timezone.utc)
    points = []  # (lat, lng, ele, seconds)
    true_ele = []  # the ground under each point, without receiver errors
    along = 0.0
    second = 0

    def terrain(d):
        # climb 900 m over 7 km, rolling ground on top, then down again
        if d < 7000:
            base = 1100 + 900 * d / 7000
        else:
            base = 2000 - 900 * min(1.0, (d - 7000) / 7000)
        return base + 15 * math.sin(d / 350.0) + 6 * math.sin(d / 97.0)

    def step(speed):
        nonlocal lat, lng, heading, along
        heading += rnd.uniform(-0.08, 0.08)
        dn = speed * math.cos(heading)
        de = speed * math.sin(heading)
        lat += dn / M_PER_DEG_LAT
        lng += de / (M_PER_DEG_LAT * math.cos(math.radians(lat)))
        along += speed

    drift = [0.0, 0.0, 0.0]  # north, east, up: first-order autoregressive
    keep = math.exp(-1 / 30.0)
    spread = math.sqrt(1 - keep * keep)

    def record():
        for k, size in enumerate((2.0, 2.0, 3.0)):
            drift[k] = keep * drift[k] + spread * rnd.gauss(0, size)
        jn = drift[0] + rnd.uniform(-0.2, 0.2)
        je = drift[1] + rnd.uniform(-0.2, 0.2)
        plat = lat + jn / M_PER_DEG_LAT
        plng = lng + je / (M_PER_DEG_LAT * math.cos(math.radians(lat)))
        ele = terrain(along) + drift[2] + rnd.uniform(-1, 1)
        points.append((plat, plng, ele, second))
        true_ele.append(terrain(along))

    while along < 7000:  # up, slower on the steep part
        step(0.95 + rnd.uniform(-0.1, 0.1))
        second += 1
        record()
    for _ in range(20 * 60):  # summit break
        second += 1
        record()
    stopped = False
    while along < 14000:
        if not stopped and along > 10500:
            for _ in range(5 * 60):
                second += 1
                record()
            stopped = True
        step(1.35 + rnd.uniform(-0.1, 0.1))
        second += 1
        record()
    return t0, points, true_ele


def write_files(t0, points):
    os.makedirs(OUT, exist_ok=True)
    gpx_path = os.path.join(OUT, "hike.gpx")
    csv_path = os.path.join(OUT, "hike.csv")
    with open(gpx_path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<gpx version="1.1" creator="track_compare" '
                'xmlns="http://www.topografix.com/GPX/1/1">\n'
                '<trk><name>Synthetic hike</name><trkseg>\n')
        for lat, lng, ele, s in points:
            t = (t0 + datetime.timedelta(seconds=s)).strftime("%Y-%m-%dT%H:%M:%SZ")
            f.write('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>%s</time></trkpt>\n'
                    % (lat, lng, ele, t))
        f.write("</trkseg></trk>\n</gpx>\n")
    with open(csv_path, "w") as f:
        for lat, lng, ele, s in points:
            f.write("%.7f,%.7f,%.1f,%d\n" % (lat, lng, ele, t0.timestamp() + s))
    return gpx_path, csv_path


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    t0, points, true_ele = make_track()
    gpx_path, csv_path = write_files(t0, points)
    rows = []

    bench = os.path.join(build, "bench", "track_bench")
    if os.path.exists(bench):
        lib = json.loads(subprocess.check_output([bench, "--stats-csv", csv_path]))
        rows.append(("wymap library (CSV)", lib["distance_m"], lib["duration_s"],
                     lib["moving_s"], lib["ascent_m"], lib["descent_m"]))
    tool = os.path.join(build, "tools", "wymap")
    if os.path.exists(tool):
        st = json.loads(subprocess.check_output([tool, "stats", "--json", gpx_path]))
        s = st["tracks"][0]
        rows.append(("wymap stats (GPX)", s["distance_m"], s["duration_s"], s["moving_s"],
                     s["ascent_m"], s["descent_m"]))

    with open(gpx_path) as f:
        g = gpxpy.parse(f)
    moving = g.get_moving_data()
    up = g.get_uphill_downhill()
    rows.append(("gpxpy " + gpxpy.__version__, g.length_2d(), g.get_duration(),
                 moving.moving_time, up.uphill, up.downhill))

    def fmt(v, unit):
        return "%10s" % ("-" if v is None else ("%.0f %s" % (v, unit)))

    print("%d points, %s" % (len(points), gpx_path))
    print("%-22s %12s %12s %12s %10s %10s" % ("", "distance", "duration", "moving",
                                              "ascent", "descent"))
    for name, d, dur, mov, asc, desc in rows:
        print("%-22s %12s %12s %12s %10s %10s" % (name, fmt(d, "m"), fmt(dur, "s"),
                                                  fmt(mov, "s"), fmt(asc, "m"), fmt(desc, "m")))
    climb = 0.0
    for a, b in zip(true_ele, true_ele[1:]):
        climb += max(0.0, b - a)
    duration = points[-1][3] - points[0][3]
    print("%-22s %12s %12s %12s %10s" % ("by construction", fmt(14000, "m"), fmt(duration, "s"),
                                         fmt(duration - 25 * 60, "s"), fmt(climb, "m")))


if __name__ == "__main__":
    main()
