#!/usr/bin/env python3
"""Makes the synthetic town used by the vector tile tests and benchmarks.

A made-up town inside one zoom-14 tile: a lake, a park, a residential area,
named roads, about 5,000 buildings, a place name and a few shops, in the
layers and classes of the OpenMapTiles schema. Written as GeoJSON, turned
into vector tiles (zooms 10 to 14, gzip-compressed) by GDAL's MVT writer
(ogr2ogr, a test-only tool), and the same tiles into a PMTiles archive by
scripts/mbtiles-to-pmtiles.py.

  scripts/make-vector-town.py [output folder]   (default tests/tiles/data)
Writes town.mbtiles, town.pmtiles and town-leaves.pmtiles (directories split
into leaves) and prints the places the tests look at.
"""
import json
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "tests", "tiles", "data")

# The zoom-14 tile the town fills.
Z, TX, TY = 14, 8556, 5784


def tile_lon(x, z):
    return x / 2 ** z * 360 - 180


def tile_lat(y, z):
    n = math.pi - 2 * math.pi * y / 2 ** z
    return math.degrees(math.atan(math.sinh(n)))


W, E = tile_lon(TX, Z), tile_lon(TX + 1, Z)
N, S = tile_lat(TY, Z), tile_lat(TY + 1, Z)


def at(fx, fy):
    """Fractions of the tile (0..1 from the north-west corner) to lon, lat."""
    y = TY + fy
    return [round(W + (E - W) * fx, 7), round(tile_lat(y, Z), 7)]


def ring(points):
    pts = [at(x, y) for x, y in points]
    return pts + [pts[0]]


def box(x0, y0, x1, y1):
    # Counter-clockwise in lon/lat: the GeoJSON outer ring.
    return ring([(x0, y1), (x1, y1), (x1, y0), (x0, y0)])


def feature(geometry, **props):
    return {"type": "Feature", "geometry": geometry, "properties": props}


def polygon(rings):
    return {"type": "Polygon", "coordinates": rings}


def line(points):
    return {"type": "LineString", "coordinates": [at(x, y) for x, y in points]}


def point(x, y):
    return {"type": "Point", "coordinates": at(x, y)}


LAKE = (0.06, 0.06, 0.30, 0.30)
PARK = (0.62, 0.08, 0.92, 0.34)


def inside(x, y, b, margin=0.01):
    return b[0] - margin <= x <= b[2] + margin and b[1] - margin <= y <= b[3] + margin


layers = {
    "water": [feature(polygon([box(*LAKE)]), **{"class": "lake", "name": "Wy Lake"})],
    "park": [feature(polygon([box(*PARK), box(0.74, 0.18, 0.80, 0.24)]),
                     **{"class": "park", "name": "Town Park"})],
    "landuse": [feature(polygon([box(0.0, 0.36, 1.0, 1.0)]), **{"class": "residential"})],
    "transportation": [],
    "transportation_name": [],
    "building": [],
    "place": [feature(point(0.46, 0.20), **{"class": "town", "name": "Wyton", "rank": 5})],
    "poi": [feature(point(0.40, 0.42), **{"class": "shop", "name": "Corner Shop", "rank": 1}),
            feature(point(0.56, 0.44), **{"class": "cafe", "name": "Cafe Wy", "rank": 2})],
}

roads = [
    ("primary", "High Street", [(0.0, 0.50), (1.0, 0.50)]),
    ("secondary", "Mill Road", [(0.50, 0.0), (0.50, 1.0)]),
    ("minor", "Lake Lane", [(0.02, 0.34), (0.48, 0.34)]),
]
for i in range(1, 10):
    if i == 5:
        continue
    roads.append(("minor", "Street %d" % i, [(0.0, 0.36 + i * 0.07), (1.0, 0.36 + i * 0.07)]))
for cls, name, pts in roads:
    layers["transportation"].append(feature(line(pts), **{"class": cls}))
    layers["transportation_name"].append(feature(line(pts), **{"class": cls, "name": name}))
layers["transportation"].append(feature(line([(0.32, 0.02), (0.32, 0.32)]), **{"class": "path"}))

# Buildings on a grid over the residential part, between the streets.
step = 0.0095
size = 0.0068
y = 0.37
while y + size < 0.995:
    x = 0.005
    while x + size < 0.995:
        near_road = any(abs(y + size / 2 - (0.36 + i * 0.07)) < 0.009 for i in range(1, 10)) or \
            abs(x + size / 2 - 0.50) < 0.009
        if not near_road:
            layers["building"].append(feature(polygon([box(x, y, x + size, y + size)])))
        x += step
    y += step

print("buildings:", len(layers["building"]))

with tempfile.TemporaryDirectory() as work:
    gpkg = os.path.join(work, "town.gpkg")
    for name, features in layers.items():
        path = os.path.join(work, name + ".geojson")
        with open(path, "w") as f:
            json.dump({"type": "FeatureCollection", "features": features}, f)
        subprocess.run(["ogr2ogr", "-f", "GPKG", "-nln", name] +
                       (["-append"] if os.path.exists(gpkg) else []) + [gpkg, path], check=True)
    mbtiles = os.path.join(OUT, "town.mbtiles")
    if os.path.exists(mbtiles):
        os.remove(mbtiles)
    subprocess.run(["ogr2ogr", "-f", "MVT", mbtiles, gpkg,
                    "-dsco", "FORMAT=MBTILES", "-dsco", "MINZOOM=10", "-dsco", "MAXZOOM=14",
                    "-dsco", "NAME=Wyton", "-dsco", "MAX_SIZE=2000000",
                    "-dsco", "MAX_FEATURES=1000000"], check=True)
convert = os.path.join(HERE, "mbtiles-to-pmtiles.py")
subprocess.run([sys.executable, convert, mbtiles, os.path.join(OUT, "town.pmtiles")], check=True)
subprocess.run([sys.executable, convert, "--leaf-entries", "4", mbtiles,
                os.path.join(OUT, "town-leaves.pmtiles")], check=True)
print("tile", Z, TX, TY, "lake at", LAKE, "park at", PARK)
