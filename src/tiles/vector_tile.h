#pragma once
// TVectorTile: one Mapbox Vector Tile (version 1 or 2), decoded from its
// protocol-buffer bytes.
//
// Decoding is strict where a tile cannot be read one way only: a field of the
// wrong wire type, a layer without name or version, two layers of one name,
// a feature without type or geometry, tags that point past the keys or
// values, geometry commands whose counts do not match their parameters, a
// ring not closed exactly once. Such a tile is refused as a whole with the
// reason; no partly read tile is handed out. Memory is bounded by the size
// of the input: no count read from the tile is trusted before the bytes that
// must follow it are there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wy {

enum TVectorGeomType : uint8_t { vgUnknown = 0, vgPoint = 1, vgLine = 2, vgPolygon = 3 };

enum TVectorValueType : uint8_t { vvString, vvFloat, vvDouble, vvInt, vvUInt, vvSInt, vvBool };

struct TVectorValue {
  TVectorValueType Type = vvString;
  std::string Text;   // vvString
  double Number = 0;  // every numeric type and bool (0 or 1)
  int64_t Int = 0;    // vvInt, vvSInt
  uint64_t UInt = 0;  // vvUInt
  bool Bool = false;  // vvBool
};

// A point in tile coordinates (0 to the layer's extent; features may reach
// beyond it into the tile's buffer).
struct TVectorPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

// One point run of a feature: a point of a multi-point, a line, or a ring.
struct TVectorPart {
  uint32_t Begin = 0;  // index of the first point in the feature's Points
  uint32_t Count = 0;
  // Rings: true for an outer ring (positive area with y pointing down),
  // false for a hole.
  bool Exterior = true;
};

struct TVectorFeature {
  bool HasId = false;
  uint64_t Id = 0;
  TVectorGeomType Type = vgUnknown;
  std::vector<uint32_t> Tags;  // key index, value index, ...
  std::vector<TVectorPoint> Points;
  std::vector<TVectorPart> Parts;
};

struct TVectorLayer {
  uint32_t Version = 1;
  std::string Name;
  uint32_t Extent = 4096;
  std::vector<std::string> Keys;
  std::vector<TVectorValue> Values;
  std::vector<TVectorFeature> Features;

  // The value of property `key` of `feature`, or null.
  const TVectorValue* Property(const TVectorFeature& feature, const std::string& key) const;
};

struct TVectorTile {
  std::vector<TVectorLayer> Layers;

  const TVectorLayer* Layer(const std::string& name) const;
};

// Decodes `size` bytes of an uncompressed tile into `tile`. False with the
// reason in `error` (and `tile` empty) when the tile is not valid.
bool DecodeVectorTile(const char* data, size_t size, TVectorTile& tile, std::string& error);

// Tile bytes as stored by most sources may be gzip- or zlib-compressed:
// inflates them into `out` when they are, copies them otherwise. Inflating
// stops with false past `limit` bytes.
bool InflateTileBytes(const std::string& bytes, std::string& out, std::string& error,
                      size_t limit = 64u << 20);

// Inflates gzip- or zlib-compressed bytes (whichever header they have);
// false past `limit` bytes or on damaged input.
bool InflateCompressed(const std::string& bytes, std::string& out, std::string& error,
                       size_t limit = 64u << 20);

}  // namespace wy
