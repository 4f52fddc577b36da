#pragma once
// Reading GPX documents (GPS receivers, tracker apps) as shape text: each
// waypoint becomes a marker, each track segment and each route a line.
// Elevations are kept as altitudes; coordinates that do not parse or are out
// of range are skipped. Element names are matched exactly, a namespace
// prefix ("gpx:trkpt") ignored.
//
// One object serves one conversion at a time; separate objects may run on
// separate threads.

#include <string>

#include "formats/xml_tokenizer.h"

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

 private:
  enum TCapture { cpNone, cpName, cpEle };

  void Reset();
  std::string Result();
  void OnTag(TwytXML& xml);
  void OnText(TwytXML& xml);
  bool BeginPoint(TwytXML& xml);
  void EndWaypoint();
  void EndLinePoint();
  void EndLine();

  TwytXML FXml;
  std::string FMarkers;
  std::string FLines;
  // The waypoint or line point being read.
  bool FInWpt = false;
  bool FInLinePoint = false;
  std::string FLat, FLng, FEle, FName;
  TCapture FCapture = cpNone;
  // The line (track segment or route) being read.
  std::string FLatLng;
  std::string FAlt;
  bool FHasAlt = false;
  size_t FPointCount = 0;
};

}  // namespace wy
