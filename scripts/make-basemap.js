#!/usr/bin/env node
// Builds data/basemap-50m.bin, the world map drawn when no tile server
// answers, from Natural Earth's 1:50m land and country boundaries.
//
// Source: the npm package world-atlas 2.0.2 (https://github.com/topojson/
// world-atlas, ISC licence), which carries Natural Earth 4.1.0 as TopoJSON:
// land-50m.json (land polygons) and countries-50m.json (Admin 0 country
// boundaries). Natural Earth data is in the public domain
// (https://www.naturalearthdata.com/about/terms-of-use/).
//
// Run once, by hand; nothing downloads at build or test time:
//   npm install --prefix /tmp/wa world-atlas@2.0.2
//   node scripts/make-basemap.js /tmp/wa/node_modules/world-atlas data/basemap-50m.bin
//
// Output (all integers little-endian, counts and coordinates as LEB128
// varints, coordinates zigzag-encoded deltas from the previous point of the
// same line, starting from 0 0):
//   "WYBM", u8 version = 1
//   4 x f64: scale x, scale y, translate x, translate y; a stored point
//            (qx, qy) is at longitude qx * sx + tx, latitude qy * sy + ty
//   land:    polygon count; per polygon ring count; per ring point count,
//            points (closed rings, last point not repeated)
//   coasts:  line count; per line point count, points
//   borders: line count; per line point count, points
// Coastlines are the land outlines without the edges that only close a
// polygon at the 180th meridian or along the South Pole; borders are the
// arcs two different countries share.
'use strict';

const fs = require('fs');
const path = require('path');

if (process.argv.length !== 4) {
  console.error('usage: make-basemap.js WORLD_ATLAS_FOLDER OUTPUT');
  process.exit(2);
}
const folder = process.argv[2];
const output = process.argv[3];
const land = JSON.parse(fs.readFileSync(path.join(folder, 'land-50m.json'), 'utf8'));
const countries = JSON.parse(fs.readFileSync(path.join(folder, 'countries-50m.json'), 'utf8'));

function sameTransform(a, b) {
  return a.scale[0] === b.scale[0] && a.scale[1] === b.scale[1] &&
      a.translate[0] === b.translate[0] && a.translate[1] === b.translate[1];
}
if (!sameTransform(land.transform, countries.transform)) {
  console.error('the two files are quantized differently');
  process.exit(1);
}
const transform = land.transform;

// Arcs in absolute quantized positions.
function decodeArcs(topology) {
  return topology.arcs.map((arc) => {
    let x = 0, y = 0;
    return arc.map(([dx, dy]) => [(x += dx), (y += dy)]);
  });
}

function arcPoints(arcs, index) {
  return index >= 0 ? arcs[index] : arcs[~index].slice().reverse();
}

function ringPoints(arcs, ringArcs) {
  const points = [];
  for (const index of ringArcs) {
    const part = arcPoints(arcs, index);
    for (let i = points.length ? 1 : 0; i < part.length; ++i) points.push(part[i]);
  }
  // Closed implicitly.
  const first = points[0], last = points[points.length - 1];
  if (points.length > 1 && first[0] === last[0] && first[1] === last[1]) points.pop();
  return points;
}

function polygonsOf(geometry) {
  if (geometry.type === 'Polygon') return [geometry.arcs];
  if (geometry.type === 'MultiPolygon') return geometry.arcs;
  return [];
}

const landArcs = decodeArcs(land);
const countryArcs = decodeArcs(countries);

// Quantized extremes: the 180th meridian and the South Pole's edge.
const maxQx = Math.round((180 - transform.translate[0]) / transform.scale[0]);
const minQx = 0;
const poleQy = Math.round((-89.9 - transform.translate[1]) / transform.scale[1]);
// An edge from one side of the 180th meridian to the other: on the sphere
// it has no length, on the flat map it would cross the whole world.
function jumps(a, b) {
  return Math.abs(a[0] - b[0]) > maxQx / 2 && !(a[1] <= poleQy && b[1] <= poleQy);
}
function artificial(a, b) {
  const onMeridian = (p) => p[0] <= minQx || p[0] >= maxQx;
  if (onMeridian(a) && onMeridian(b) && a[0] === b[0]) return true;
  if (jumps(a, b)) return true;
  return a[1] <= poleQy && b[1] <= poleQy;
}

// A ring that crosses the 180th meridian and comes back becomes one ring
// per side: each stretch between two crossings, closed along the meridian.
// (Antarctica crosses once and closes along the pole: it stays whole.)
function splitAtMeridian(ring) {
  const crossings = [];
  for (let i = 0; i < ring.length; ++i)
    if (jumps(ring[i], ring[(i + 1) % ring.length])) crossings.push(i);
  if (crossings.length < 2) return [ring];
  // Start right after a crossing, so that every stretch is contiguous.
  const start = (crossings[0] + 1) % ring.length;
  const rotated = ring.slice(start).concat(ring.slice(0, start));
  const rings = [];
  let current = [];
  for (let i = 0; i < rotated.length; ++i) {
    current.push(rotated[i]);
    if (jumps(rotated[i], rotated[(i + 1) % rotated.length])) {
      if (current.length >= 3) rings.push(current);
      current = [];
    }
  }
  if (current.length >= 3) rings.push(current);
  return rings;
}

// Splits a line where it runs along an edge that only closes a polygon.
function realParts(points) {
  const parts = [];
  let current = [];
  for (let i = 0; i < points.length; ++i) {
    if (i > 0 && artificial(points[i - 1], points[i])) {
      if (current.length > 1) parts.push(current);
      current = [];
    }
    current.push(points[i]);
  }
  if (current.length > 1) parts.push(current);
  return parts;
}

const landPolygons = [];
const coasts = [];
for (const geometry of land.objects.land.geometries) {
  for (const polygon of polygonsOf(geometry)) {
    const rings = [];
    for (const ring of polygon) rings.push(...splitAtMeridian(ringPoints(landArcs, ring)));
    rings.splice(0, rings.length, ...rings.filter((r) => r.length >= 3));
    if (rings.length) landPolygons.push(rings);
    for (const ring of polygon)
      for (const index of ring) coasts.push(...realParts(arcPoints(landArcs, index)));
  }
}

// Arcs used by two different countries are borders.
const users = new Map();
countries.objects.countries.geometries.forEach((geometry, id) => {
  for (const polygon of polygonsOf(geometry))
    for (const ring of polygon)
      for (const index of ring) {
        const arc = index >= 0 ? index : ~index;
        if (!users.has(arc)) users.set(arc, new Set());
        users.get(arc).add(id);
      }
});
const borders = [];
for (const [arc, ids] of [...users.entries()].sort((a, b) => a[0] - b[0]))
  if (ids.size >= 2) borders.push(...realParts(countryArcs[arc]));

// --- Writing
const bytes = [];
function varint(v) {
  while (v >= 0x80) {
    bytes.push((v & 0x7f) | 0x80);
    v = Math.floor(v / 128);
  }
  bytes.push(v);
}
function zigzag(v) {
  varint(v >= 0 ? v * 2 : -v * 2 - 1);
}
function line(points) {
  varint(points.length);
  let x = 0, y = 0;
  for (const [px, py] of points) {
    zigzag(px - x);
    zigzag(py - y);
    x = px;
    y = py;
  }
}

const header = Buffer.alloc(5 + 32);
header.write('WYBM', 0, 'ascii');
header.writeUInt8(1, 4);
header.writeDoubleLE(transform.scale[0], 5);
header.writeDoubleLE(transform.scale[1], 13);
header.writeDoubleLE(transform.translate[0], 21);
header.writeDoubleLE(transform.translate[1], 29);

varint(landPolygons.length);
for (const polygon of landPolygons) {
  varint(polygon.length);
  for (const ring of polygon) line(ring);
}
varint(coasts.length);
for (const coast of coasts) line(coast);
varint(borders.length);
for (const border of borders) line(border);

fs.writeFileSync(output, Buffer.concat([header, Buffer.from(bytes)]));
const count = (lines) => lines.reduce((n, l) => n + l.length, 0);
console.log(`${output}: ${landPolygons.length} land polygons, ${coasts.length} coastlines ` +
            `(${count(coasts)} points), ${borders.length} borders (${count(borders)} points), ` +
            `${header.length + bytes.length} bytes`);
