#include "tools/wymap_convert_stream.h"

#include <algorithm>

#include "formats/geojson_export.h"
#include "formats/gpx_export.h"
#include "formats/import_common.h"
#include "formats/shape_file.h"
#include "formats/shape_sink.h"
#include "geo/text_convert.h"
#include "platform/log.h"
#include "shapes/shape.h"

namespace wy {

namespace {

// A marker's hint as the shapes give it: its name, as the shape text
// stores and reads it back.
std::string HintOf(const TWyAttributes& attributes) {
  const std::string& name = attributes.Get("name");
  return name.empty() ? std::string() : HtmlToText(UnescapeChars(";=\r\n", ImportedText(name)));
}

// Counts what passes, for the stages the converter reports.
class TCountingSink : public TShapeSink {
 public:
  explicit TCountingSink(TStreamCounts& counts) : FCounts(counts) {}
  void Marker(double, double, double, const TWyAttributes&) override { ++FCounts.markers; }
  void BeginLine(const std::string&, const TWyAttributes&) override { ++FCounts.lines; }
  void LinePoint(double, double, double, double, const TPointTexts&) override { ++FCounts.points; }
  void EndLine(const TWyAttributes&) override {}

 private:
  TStreamCounts& FCounts;
};

// GeoJSON Features as the shapes write them: a marker's hint as "title",
// its (empty) icon; a line's default style; a line of one point left out
// (a LineString needs two positions). The box around every position is
// kept for the collection's bounding box.
class TGeoJsonSink : public TCountingSink {
 public:
  TGeoJsonSink(TGeoJsonWriter& out, TStreamCounts& counts) : TCountingSink(counts), FOut(out) {}

  void Marker(double lat, double lng, double alt, const TWyAttributes& attributes) override {
    TCountingSink::Marker(lat, lng, alt, attributes);
    Take(lat, lng);
    FOut.Point(
        lng, lat,
        {TGeoJsonWriter::Text("title", HintOf(attributes)), TGeoJsonWriter::Text("icon", "")}, alt,
        &attributes);
  }
  void BeginLine(const std::string& trackKey, const TWyAttributes& attributes) override {
    TCountingSink::BeginLine(trackKey, attributes);
    FKey = trackKey;
    FCount = 0;
  }
  void LinePoint(double lat, double lng, double alt, double time,
                 const TPointTexts& texts) override {
    TCountingSink::LinePoint(lat, lng, alt, time, texts);
    Take(lat, lng);
    // The first point waits for a second one: alone it is no LineString.
    if (FCount == 0) {
      FFirst[0] = lat, FFirst[1] = lng, FFirst[2] = alt, FFirst[3] = time;
    } else {
      if (FCount == 1) {
        FOut.BeginLine(FKey);
        FOut.Position(FFirst[1], FFirst[0], FFirst[2], FFirst[3]);
      }
      FOut.Position(lng, lat, alt, time, texts.lng, texts.lat, texts.alt);
    }
    ++FCount;
  }
  void EndLine(const TWyAttributes& attributes) override {
    if (FCount >= 2) {
      FOut.End({TGeoJsonWriter::Number("color", static_cast<int32_t>(TWyShape::kDefaultColor)),
                TGeoJsonWriter::Number("opacity", 100), TGeoJsonWriter::Number("weight", 4)},
               &attributes);
    } else if (FCount == 1) {
      LogWarning("shapes",
                 "a line of one point left out of the GeoJSON export (a LineString needs two "
                 "positions)");
    }
  }

  // West, south, east, north; false when there was no position.
  bool Box(double* bbox) const {
    if (!FAny) return false;
    bbox[0] = FWest, bbox[1] = FSouth, bbox[2] = FEast, bbox[3] = FNorth;
    return true;
  }

 private:
  void Take(double lat, double lng) {
    FSouth = std::min(FSouth, lat);
    FNorth = std::max(FNorth, lat);
    FWest = std::min(FWest, lng);
    FEast = std::max(FEast, lng);
    FAny = true;
  }

  TGeoJsonWriter& FOut;
  std::string FKey;
  size_t FCount = 0;
  double FFirst[4] = {};
  bool FAny = false;
  double FSouth = 90, FWest = 180, FNorth = -90, FEast = -180;
};

// GPX waypoints and tracks as the shapes write them.
class TGpxSink : public TCountingSink {
 public:
  TGpxSink(TGpxWriter& out, TStreamCounts& counts) : TCountingSink(counts), FOut(out) {}

  void Marker(double lat, double lng, double alt, const TWyAttributes& attributes) override {
    TCountingSink::Marker(lat, lng, alt, attributes);
    const std::string hint = HintOf(attributes);
    if (attributes.Empty())
      FOut.Waypoint(lat, lng, alt, hint, hint);
    else
      FOut.Waypoint(lat, lng, alt, attributes, hint);
  }
  void BeginLine(const std::string& trackKey, const TWyAttributes& attributes) override {
    TCountingSink::BeginLine(trackKey, attributes);
    FOut.BeginTrack(attributes, trackKey);
  }
  void LinePoint(double lat, double lng, double alt, double time,
                 const TPointTexts& texts) override {
    TCountingSink::LinePoint(lat, lng, alt, time, texts);
    FOut.TrackPoint(lat, lng, alt, time, texts.lat, texts.lng, texts.alt);
  }
  void EndLine(const TWyAttributes&) override { FOut.EndTrack(); }

 private:
  TGpxWriter& FOut;
};

}  // namespace

bool CanStreamConvert(TExportKind from, TExportKind to) {
  return from == ekGpx && (to == ekGeoJson || to == ekGpx);
}

TStreamResult StreamConvert(const TShapeReader& read, size_t bytes, TExportKind to,
                            const std::string& out, TStreamCounts& counts) {
  counts = TStreamCounts();
  bool handed = false;
  bool written = false;
  if (to == ekGpx) {
    // GPX wants every waypoint before the first track: the document is
    // gathered, then written without a further copy.
    TGpxWriter writer;
    writer.Reserve(bytes / 48);
    TGpxSink sink(writer, counts);
    handed = read(sink);
    if (!handed) return srNoShapes;
    written = SaveFileInPieces(
        out, true, [&writer](const TPieceWriter& write) { return writer.TakeDocument(write); });
  } else {
    // The file is written while the document is read; it replaces `out`
    // only when done.
    written = SaveFileInPieces(out, false, [&](const TPieceWriter& write) {
      TGeoJsonWriter writer;
      writer.Reserve(bytes / 80);
      writer.StreamTo(write);
      TGeoJsonSink sink(writer, counts);
      handed = read(sink);
      double bbox[4];
      const bool box = sink.Box(bbox);
      return writer.FinishStream(box ? bbox : nullptr) && handed;
    });
    if (!handed) return srNoShapes;
  }
  return written ? srDone : srCannotWrite;
}

}  // namespace wy
