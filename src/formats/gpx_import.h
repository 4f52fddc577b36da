#pragma once
// Reading GPX documents (GPS receivers, tracker apps) as shape text: each
// waypoint becomes a marker, each track segment and each route a line.
// Elevations are kept as altitudes, the points' times as the lines' point
// times; coordinates that do not parse or are out of range are skipped.
// A waypoint's name, desc, cmt, sym, type, time and link (its address) and
// a track's or route's name, desc, type and number become attributes (a
// track's on each of its segments, which share its track key). Element names are matched exactly, a
// namespace prefix ("gpx:trkpt") ignored.
//
// One object serves one conversion at a time; separate objects may run on
// separate threads.

#include <functional>
#include <string>

#include "formats/shape_sink.h"
#include "formats/xml_tokenizer.h"
#include "geo/attributes.h"

namespace wy {

class TGpxImporter {
 public:
  TGpxImporter();
  TGpxImporter(const TGpxImporter&) = delete;
  TGpxImporter& operator=(const TGpxImporter&) = delete;

  // The shape text of a GPX document; "" when it holds nothing to show.
  std::string FromText(std::string text);
  // As FromText for a file; "" when it cannot be read.
  std::string FromFile(const std::string& fileName);
  // Where the last document read was malformed or cut short (see
  // TwytXML::ErrorString); what was read before it is kept.
  // Set by ToSink too.
  const std::string& ErrorString() const { return FError; }
  size_t ErrorLine() const { return FErrorLine; }
  // Hands the shapes of a GPX document to `sink` as they are read, the
  // same ones FromText would write (every track's segments under its track
  // key, a track of one segment too); false when there was none.
  bool ToSink(std::string text, TShapeSink& sink);
  // The same for a UTF-8 document that `read` hands over block by block
  // (as TwytXML::LoadFromReader), never held whole.
  bool ToSink(const std::function<size_t(char* buffer, size_t size)>& read, TShapeSink& sink);

 private:
  enum TCapture { cpNone, cpEle, cpTime, cpAttribute };

  void Reset();
  void KeepError();
  std::string Result();
  // Runs `load` with the shapes going to `sink`.
  template <typename TLoad>
  bool IntoSink(TShapeSink& sink, TLoad&& load);
  void OnTag(TwytXML& xml);
  void OnText(TwytXML& xml);
  bool BeginPoint(TwytXML& xml);
  void EndWaypoint();
  void EndLinePoint();
  void EndLine();

  TwytXML FXml;
  std::string FError;
  size_t FErrorLine = 0;
  // Set while ToSink runs: shapes go there instead of into the text.
  TShapeSink* FSink = nullptr;
  bool FHanded = false;
  double FLatValue = 0, FLngValue = 0;
  std::string FMarkers;
  std::string FLines;
  // The waypoint or line point being read.
  bool FInWpt = false;
  bool FInLinePoint = false;
  std::string FLat, FLng, FEle, FTime;
  TCapture FCapture = cpNone;
  std::string FCaptureName, FCaptured;
  // The waypoint's attributes; the track's or route's.
  TWyAttributes FWptAttributes, FLineAttributes;
  bool FInTrack = false, FInRoute = false;
  int FTrackCount = 0;
  std::string FTrackKey;
  // Segments of the current track written, and where the first one's key
  // goes.
  int FSegments = 0;
  size_t FKeyAt = 0;
  // The line (track segment or route) being read.
  std::string FLatLng;
  std::string FAlt;
  std::string FTimes;
  bool FHasAlt = false;
  bool FHasTime = false;
  size_t FPointCount = 0;
};

}  // namespace wy
