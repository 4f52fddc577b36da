#include "tiles/vector_tile.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <protozero/exception.hpp>
#include <protozero/pbf_reader.hpp>
#include <unordered_set>

namespace wy {

namespace {

using protozero::pbf_reader;
using protozero::pbf_wire_type;

constexpr uint32_t kMoveTo = 1, kLineTo = 2, kClosePath = 7;

// Why a tile is refused; thrown inside the decoder only and turned into the
// error text at its edge.
struct TBadTile {
  std::string Reason;
};

[[noreturn]] void Fail(const std::string& reason) {
  throw TBadTile{reason};
}

void Expect(const pbf_reader& reader, pbf_wire_type type, const char* field) {
  if (reader.wire_type() != type) Fail(std::string(field) + " has the wrong wire type");
}

int32_t ZigZag(uint32_t value) {
  return static_cast<int32_t>((value >> 1) ^ (~(value & 1) + 1));
}

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

TVectorValue ReadValue(pbf_reader message) {
  TVectorValue value;
  int fields = 0;
  while (message.next()) {
    ++fields;
    switch (message.tag()) {
      case 1:
        Expect(message, pbf_wire_type::length_delimited, "string value");
        value.Type = vvString;
        value.Text = message.get_string();
        break;
      case 2:
        Expect(message, pbf_wire_type::fixed32, "float value");
        value.Type = vvFloat;
        value.Number = message.get_float();
        break;
      case 3:
        Expect(message, pbf_wire_type::fixed64, "double value");
        value.Type = vvDouble;
        value.Number = message.get_double();
        break;
      case 4:
        Expect(message, pbf_wire_type::varint, "int value");
        value.Type = vvInt;
        value.Int = message.get_int64();
        value.Number = static_cast<double>(value.Int);
        break;
      case 5:
        Expect(message, pbf_wire_type::varint, "uint value");
        value.Type = vvUInt;
        value.UInt = message.get_uint64();
        value.Number = static_cast<double>(value.UInt);
        break;
      case 6:
        Expect(message, pbf_wire_type::varint, "sint value");
        value.Type = vvSInt;
        value.Int = message.get_sint64();
        value.Number = static_cast<double>(value.Int);
        break;
      case 7:
        Expect(message, pbf_wire_type::varint, "bool value");
        value.Type = vvBool;
        value.Bool = message.get_bool();
        value.Number = value.Bool ? 1 : 0;
        break;
      default:
        Fail("a value has an unknown field " + std::to_string(message.tag()));
    }
  }
  if (fields != 1) Fail(fields == 0 ? "a value is empty" : "a value has more than one field");
  return value;
}

// Twice the signed area of a ring (shoelace formula), in 64 bits.
double RingArea(const TVectorPoint* points, uint32_t count) {
  double area = 0;
  for (uint32_t i = 0, j = count - 1; i < count; j = i++)
    area += static_cast<double>(points[j].X) * points[i].Y -
            static_cast<double>(points[i].X) * points[j].Y;
  return area;
}

void ReadGeometry(const std::vector<uint32_t>& commands, uint32_t version,
                  TVectorFeature& feature) {
  const size_t total = commands.size();
  size_t at = 0;
  int64_t x = 0, y = 0;
  auto& points = feature.Points;
  auto& parts = feature.Parts;
  // At most one point per two numbers.
  points.reserve(total / 2);
  const bool ring = feature.Type == vgPolygon;
  while (at < total) {
    const uint32_t command = commands[at] & 7;
    const uint32_t count = commands[at] >> 3;
    ++at;
    if (command == kMoveTo || command == kLineTo) {
      // Two parameters per point must be there before anything is kept.
      if (count == 0) Fail("a geometry command has a count of zero");
      if (uint64_t(count) * 2 > total - at) Fail("a geometry command has more points than data");
      if (command == kMoveTo) {
        if (feature.Type != vgPoint && count != 1) Fail("a MoveTo of a line or ring moves twice");
      } else if (parts.empty()) {
        Fail("geometry starts with LineTo");
      }
      if (feature.Type == vgPoint && command == kLineTo) Fail("a point feature has a LineTo");
      for (uint32_t i = 0; i < count; ++i) {
        const int32_t dx = ZigZag(commands[at++]);
        const int32_t dy = ZigZag(commands[at++]);
        if (command == kLineTo && dx == 0 && dy == 0) Fail("a LineTo does not move");
        x += dx;
        y += dy;
        if (command == kMoveTo && (feature.Type != vgPoint || parts.empty())) {
          if (ring && !parts.empty() && !(parts.back().Count & 0x80000000u))
            Fail("a ring is not closed");
          parts.push_back(TVectorPart{static_cast<uint32_t>(points.size()), 0, true});
        }
        points.push_back(TVectorPoint{Clamp32(x), Clamp32(y)});
        parts.back().Count++;
      }
    } else if (command == kClosePath) {
      if (count != 1) Fail("a ClosePath has a count other than one");
      if (parts.empty()) Fail("geometry starts with ClosePath");
      if (feature.Type == vgLine) {
        // Old tiles close lines; version 2 forbids it.
        if (version >= 2) Fail("a line has a ClosePath");
        continue;
      }
      if (!ring) Fail("a point feature has a ClosePath");
      TVectorPart& part = parts.back();
      if (part.Count & 0x80000000u) Fail("a ring is closed twice");
      if (part.Count < 3) Fail("a ring has fewer than three points");
      part.Exterior = RingArea(&points[part.Begin], part.Count) > 0;
      // Marks the ring as closed: only a MoveTo may follow.
      part.Count |= 0x80000000u;
    } else {
      Fail("unknown geometry command " + std::to_string(command));
    }
    if (ring && command != kClosePath && !parts.empty() && (parts.back().Count & 0x80000000u))
      Fail("a closed ring goes on");
  }
  if (ring) {
    for (TVectorPart& part : parts) {
      if (!(part.Count & 0x80000000u)) Fail("a ring is not closed");
      part.Count &= 0x7FFFFFFFu;
    }
  } else if (feature.Type == vgLine) {
    for (const TVectorPart& part : parts)
      if (part.Count < 2) Fail("a line has fewer than two points");
  }
  if (parts.empty() && feature.Type != vgUnknown) Fail("a feature has no geometry");
}

TVectorFeature ReadFeature(pbf_reader message, uint32_t version) {
  TVectorFeature feature;
  bool hasGeometry = false;
  // Reused from feature to feature: no allocation once it has grown.
  thread_local std::vector<uint32_t> commands;
  commands.clear();
  while (message.next()) {
    switch (message.tag()) {
      case 1:
        Expect(message, pbf_wire_type::varint, "feature id");
        feature.HasId = true;
        feature.Id = message.get_uint64();
        break;
      case 2: {
        Expect(message, pbf_wire_type::length_delimited, "feature tags");
        const auto packed = message.get_packed_uint32();
        feature.Tags.insert(feature.Tags.end(), packed.begin(), packed.end());
        break;
      }
      case 3: {
        Expect(message, pbf_wire_type::varint, "feature type");
        const uint32_t type = message.get_uint32();
        if (type > vgPolygon) Fail("unknown geometry type " + std::to_string(type));
        feature.Type = static_cast<TVectorGeomType>(type);
        break;
      }
      case 4: {
        Expect(message, pbf_wire_type::length_delimited, "feature geometry");
        if (hasGeometry) Fail("a feature has two geometries");
        hasGeometry = true;
        const auto packed = message.get_packed_uint32();
        commands.insert(commands.end(), packed.begin(), packed.end());
        break;
      }
      default:
        message.skip();
    }
  }
  // A missing type is the protocol's default, unknown: such a feature is
  // kept and never drawn.
  if (!hasGeometry) Fail("a feature has no geometry");
  if (feature.Tags.size() % 2 != 0) Fail("a feature has an odd number of tags");
  // Features of unknown type are kept without geometry: nothing draws them.
  if (feature.Type != vgUnknown) ReadGeometry(commands, version, feature);
  return feature;
}

TVectorLayer ReadLayer(pbf_reader message) {
  TVectorLayer layer;
  bool hasName = false, hasVersion = false;
  std::vector<pbf_reader> features;
  while (message.next()) {
    switch (message.tag()) {
      case 15:
        Expect(message, pbf_wire_type::varint, "layer version");
        layer.Version = message.get_uint32();
        hasVersion = true;
        break;
      case 1:
        Expect(message, pbf_wire_type::length_delimited, "layer name");
        layer.Name = message.get_string();
        hasName = true;
        break;
      case 2:
        Expect(message, pbf_wire_type::length_delimited, "feature");
        features.push_back(message.get_message());
        break;
      case 3:
        Expect(message, pbf_wire_type::length_delimited, "key");
        layer.Keys.push_back(message.get_string());
        break;
      case 4:
        Expect(message, pbf_wire_type::length_delimited, "value");
        layer.Values.push_back(ReadValue(message.get_message()));
        break;
      case 5:
        Expect(message, pbf_wire_type::varint, "layer extent");
        layer.Extent = message.get_uint32();
        break;
      default:
        message.skip();
    }
  }
  if (!hasName) Fail("a layer has no name");
  if (!hasVersion) Fail("layer \"" + layer.Name + "\" has no version");
  if (layer.Version < 1 || layer.Version > 2)
    Fail("layer \"" + layer.Name + "\" has unknown version " + std::to_string(layer.Version));
  if (layer.Extent == 0) Fail("layer \"" + layer.Name + "\" has an extent of zero");
  layer.Features.reserve(features.size());
  for (const pbf_reader& reader : features) {
    layer.Features.push_back(ReadFeature(reader, layer.Version));
    const TVectorFeature& feature = layer.Features.back();
    for (size_t i = 0; i < feature.Tags.size(); i += 2)
      if (feature.Tags[i] >= layer.Keys.size() || feature.Tags[i + 1] >= layer.Values.size())
        Fail("a feature of layer \"" + layer.Name + "\" has a tag past the keys or values");
  }
  return layer;
}

}  // namespace

const TVectorValue* TVectorLayer::Property(const TVectorFeature& feature,
                                           const std::string& key) const {
  for (size_t i = 0; i + 1 < feature.Tags.size(); i += 2)
    if (Keys[feature.Tags[i]] == key) return &Values[feature.Tags[i + 1]];
  return nullptr;
}

const TVectorLayer* TVectorTile::Layer(const std::string& name) const {
  for (const TVectorLayer& layer : Layers)
    if (layer.Name == name) return &layer;
  return nullptr;
}

bool DecodeVectorTile(const char* data, size_t size, TVectorTile& tile, std::string& error) {
  tile.Layers.clear();
  try {
    pbf_reader message(data, size);
    std::unordered_set<std::string> names;
    while (message.next()) {
      if (message.tag() == 3) {
        Expect(message, pbf_wire_type::length_delimited, "layer");
        tile.Layers.push_back(ReadLayer(message.get_message()));
        if (!names.insert(tile.Layers.back().Name).second)
          Fail("two layers are named \"" + tile.Layers.back().Name + "\"");
      } else {
        message.skip();
      }
    }
    return true;
  } catch (const TBadTile& bad) {
    error = bad.Reason;
  } catch (const protozero::exception& bad) {
    error = std::string("the tile is not a valid protocol buffer: ") + bad.what();
  } catch (const std::bad_alloc&) {
    error = "out of memory decoding the tile";
  }
  tile.Layers.clear();
  return false;
}

bool InflateTileBytes(const std::string& bytes, std::string& out, std::string& error,
                      size_t limit) {
  out.clear();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const bool gzip = bytes.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B;
  const bool zlib = bytes.size() >= 2 && data[0] == 0x78 && (data[0] * 256 + data[1]) % 31 == 0;
  if (!gzip && !zlib) {
    out = bytes;
    return true;
  }
  return InflateCompressed(bytes, out, error, limit);
}

bool InflateCompressed(const std::string& bytes, std::string& out, std::string& error,
                       size_t limit) {
  out.clear();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  z_stream stream{};
  // 32 + 15: gzip or zlib header, found from the bytes.
  if (inflateInit2(&stream, 32 + 15) != Z_OK) {
    error = "cannot start inflating the tile";
    return false;
  }
  stream.next_in = const_cast<unsigned char*>(data);
  stream.avail_in = static_cast<uInt>(bytes.size());
  char buffer[65536];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<unsigned char*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (out.size() > limit) {
      inflateEnd(&stream);
      out.clear();
      error = "the tile inflates to more than " + std::to_string(limit) + " bytes";
      return false;
    }
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
      status = Z_BUF_ERROR;
      break;
    }
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    out.clear();
    error = "the compressed tile is damaged or cut short";
    return false;
  }
  return true;
}

}  // namespace wy
