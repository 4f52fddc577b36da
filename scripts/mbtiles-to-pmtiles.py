#!/usr/bin/env python3
"""Copies the tiles of an MBTiles file into a PMTiles (version 3) archive.

  scripts/mbtiles-to-pmtiles.py [--leaf-entries N] IN.mbtiles OUT.pmtiles

Tiles keep their bytes (gzip-compressed or not, as stored); equal tiles are
stored once and runs of equal tiles share one entry. Directories and the
metadata are gzip-compressed. With --leaf-entries N the directory is split
into leaf directories of at most N entries (for testing the leaf path);
otherwise only when the root directory would pass 16 KiB.
"""
import argparse
import gzip
import hashlib
import json
import sqlite3
import struct


def tile_id(z, x, y):
    base = sum(4 ** i for i in range(z))
    n = 1 << z
    d = 0
    s = n // 2
    while s > 0:
        rx = 1 if x & s else 0
        ry = 1 if y & s else 0
        d += s * s * ((3 * rx) ^ ry)
        if ry == 0:
            if rx == 1:
                x = n - 1 - x
                y = n - 1 - y
            x, y = y, x
        s //= 2
    return base + d


def varint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def directory(entries):
    """entries: list of (tile_id, offset, length, run_length)."""
    out = bytearray(varint(len(entries)))
    last = 0
    for e in entries:
        out += varint(e[0] - last)
        last = e[0]
    for e in entries:
        out += varint(e[3])
    for e in entries:
        out += varint(e[2])
    for i, e in enumerate(entries):
        if i > 0 and e[1] == entries[i - 1][1] + entries[i - 1][2]:
            out += varint(0)
        else:
            out += varint(e[1] + 1)
    return gzip.compress(bytes(out), mtime=0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--leaf-entries", type=int, default=0)
    parser.add_argument("input")
    parser.add_argument("output")
    args = parser.parse_args()

    db = sqlite3.connect(args.input)
    meta = dict(db.execute("SELECT name, value FROM metadata"))
    tiles = []
    for z, x, row, data in db.execute(
            "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles"):
        y = (1 << z) - 1 - row
        tiles.append((tile_id(z, x, y), z, x, y, bytes(data)))
    tiles.sort()

    data = bytearray()
    where = {}
    entries = []
    for tid, z, x, y, blob in tiles:
        digest = hashlib.sha256(blob).digest()
        if digest not in where:
            where[digest] = (len(data), len(blob))
            data += blob
        offset, length = where[digest]
        last = entries[-1] if entries else None
        if last and last[0] + last[3] == tid and last[1] == offset:
            entries[-1] = (last[0], last[1], last[2], last[3] + 1)
        else:
            entries.append((tid, offset, length, 1))

    leaves = bytearray()
    root = directory(entries)
    if args.leaf_entries or len(root) > 16384:
        size = args.leaf_entries or 4096
        root_entries = []
        for i in range(0, len(entries), size):
            chunk = entries[i:i + size]
            blob = directory(chunk)
            root_entries.append((chunk[0][0], len(leaves), len(blob), 0))
            leaves += blob
        root = directory(root_entries)

    metadata = {"name": meta.get("name", ""), "format": "pbf",
                "attribution": meta.get("attribution", "")}
    if "json" in meta:
        metadata.update(json.loads(meta["json"]))
    metadata_bytes = gzip.compress(json.dumps(metadata).encode(), mtime=0)

    zooms = [t[1] for t in tiles]
    compressed = any(t[4][:2] == b"\x1f\x8b" for t in tiles)
    bounds = [float(v) for v in meta.get("bounds", "-180,-85,180,85").split(",")]
    center = [float(v) for v in meta.get("center", "0,0,0").split(",")]
    root_offset = 127
    metadata_offset = root_offset + len(root)
    leaf_offset = metadata_offset + len(metadata_bytes)
    data_offset = leaf_offset + len(leaves)
    header = b"PMTiles" + bytes([3])
    header += struct.pack("<QQQQQQQQQQQ", root_offset, len(root), metadata_offset,
                          len(metadata_bytes), leaf_offset, len(leaves), data_offset, len(data),
                          len(tiles), len(entries), len(where))
    header += bytes([1, 2, 2 if compressed else 1, 1, min(zooms), max(zooms)])
    header += struct.pack("<iiii", *[int(round(v * 1e7)) for v in bounds])
    header += bytes([int(center[2]) if len(center) > 2 else min(zooms)])
    header += struct.pack("<ii", int(round(center[0] * 1e7)), int(round(center[1] * 1e7)))
    assert len(header) == 127
    with open(args.output, "wb") as out:
        out.write(header + root + metadata_bytes + leaves + data)


if __name__ == "__main__":
    main()
