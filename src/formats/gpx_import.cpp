#include "formats/gpx_import.h"

#include <string_view>

#include "formats/import_common.h"
#include "geo/iso_time.h"
#include "geo/memory_advice.h"
#include "geo/text_convert.h"

namespace wy {

namespace {

// A coordinate written as a plain decimal ("-12.5", "48"): the shape text
// reads it exactly as it is, so it is kept as written instead of being
// formatted again (most of a large track's points).
bool PlainDecimal(const std::string& text) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  const size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == digits || text.size() > 32) return false;
  if (i == text.size()) return true;
  if (text[i] != '.') return false;
  const size_t fraction = ++i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  return i > fraction && i == text.size();
}

const char kLinePrefix[] = "drag=false;visible=true;latlng=";

// The elements of a waypoint, and of a track or route, kept as attributes.
bool WaypointAttribute(std::string_view name) {
  return name == "name" || name == "desc" || name == "cmt" || name == "sym" || name == "type" ||
         name == "time";
}

bool LineAttribute(std::string_view name) {
  return name == "name" || name == "desc" || name == "type" || name == "number";
}

}  // namespace

TGpxImporter::TGpxImporter() {
  FXml.HandleTag = [this](TwytXML& xml) { OnTag(xml); };
  FXml.HandleText = [this](TwytXML& xml) { OnText(xml); };
}

void TGpxImporter::Reset() {
  FMarkers.clear();
  FLines.clear();
  FInWpt = FInLinePoint = false;
  FCapture = cpNone;
  FCaptureName.clear();
  FCaptured.clear();
  FWptAttributes.Clear();
  FLineAttributes.Clear();
  FInTrack = FInRoute = false;
  FTrackCount = 0;
  FSegments = 0;
  FTrackKey.clear();
  FLatLng.clear();
  FAlt.clear();
  FTimes.clear();
  FHasAlt = FHasTime = false;
  FPointCount = 0;
}

std::string TGpxImporter::Result() {
  EndLine();  // a document cut short keeps the points read
  std::string out = JoinShapeSections(FMarkers, FLines, "");
  Reset();
  return out;
}

std::string TGpxImporter::FromText(std::string text) {
  Reset();
  // A track's point list grows to a good part of the document: room made
  // once (untouched room costs no memory) spares copying it as it grows.
  ReserveText(FLatLng, text.size() / 3);
  ReserveText(FAlt, text.size() / 8);
  ReserveText(FTimes, text.size() / 4);
  FXml.SetXml(XmlAsUtf8(std::move(text)));
  KeepError();
  return Result();
}

std::string TGpxImporter::FromFile(const std::string& fileName) {
  Reset();
  FError.clear();
  if (!FXml.LoadFromFile(fileName)) return "";
  KeepError();
  return Result();
}

void TGpxImporter::KeepError() {
  FError = FXml.ErrorString();
  FErrorLine = FXml.ErrorLine();
}

template <typename TLoad>
bool TGpxImporter::IntoSink(TShapeSink& sink, TLoad&& load) {
  Reset();
  FSink = &sink;
  FHanded = false;
  load();
  EndLine();  // a document cut short keeps the points read
  FSink = nullptr;
  Reset();
  return FHanded;
}

bool TGpxImporter::ToSink(std::string text, TShapeSink& sink) {
  return IntoSink(sink, [&] {
    FXml.SetXml(XmlAsUtf8(std::move(text)));
    KeepError();
    FXml.SetXml("");
  });
}

bool TGpxImporter::ToSink(const std::function<size_t(char*, size_t)>& read, TShapeSink& sink) {
  return IntoSink(sink, [&] {
    FXml.LoadFromReader(read);
    KeepError();
  });
}

bool TGpxImporter::BeginPoint(TwytXML& xml) {
  double lat = 0, lng = 0;
  std::string latText = xml.NodeParams().Value("lat");
  std::string lngText = xml.NodeParams().Value("lon");
  if (!ReadCoordinate(latText, 90, lat) || !ReadCoordinate(lngText, 180, lng)) return false;
  FEle.clear();
  FTime.clear();
  if (FSink) {
    FLatValue = lat;
    FLngValue = lng;
    FLat = std::move(latText);
    FLng = std::move(lngText);
    return true;
  }
  FLat = PlainDecimal(latText) ? std::move(latText) : FloatToStrDot(lat);
  FLng = PlainDecimal(lngText) ? std::move(lngText) : FloatToStrDot(lng);
  return true;
}

void TGpxImporter::OnTag(TwytXML& xml) {
  bool closing = false;
  const std::string_view name = XmlLocalName(xml.NodeTag(), closing);
  const bool selfClosing = xml.NodeSelfClosing();
  if (!closing) {
    if (name == "wpt") {
      FWptAttributes.Clear();
      FInWpt = BeginPoint(xml);
      if (selfClosing) EndWaypoint();
    } else if (name == "trkpt" || name == "rtept") {
      FInLinePoint = BeginPoint(xml);
      if (selfClosing) EndLinePoint();
    } else if (name == "trkseg") {
      EndLine();
    } else if (name == "trk" || name == "rte") {
      EndLine();
      FLineAttributes.Clear();
      FInTrack = name == "trk";
      FInRoute = !FInTrack;
      FTrackKey = FInTrack ? std::to_string(++FTrackCount) : "";
      FSegments = 0;
    } else if (selfClosing) {
      return;
    } else if (name == "ele" && (FInWpt || FInLinePoint)) {
      FCapture = cpEle;
    } else if (name == "time" && FInLinePoint) {
      FCapture = cpTime;
    } else if (FInWpt && name == "link") {
      if (!FWptAttributes.Has("link")) FWptAttributes.Set("link", xml.NodeParams().Value("href"));
    } else if (FInWpt ? WaypointAttribute(name)
                      : ((FInTrack || FInRoute) && !FInLinePoint && LineAttribute(name))) {
      FCapture = cpAttribute;
      FCaptureName = std::string(name);
      FCaptured.clear();
    }
    return;
  }
  if (name == "wpt") {
    EndWaypoint();
  } else if (name == "trkpt" || name == "rtept") {
    EndLinePoint();
  } else if (name == "trkseg") {
    EndLine();
  } else if (name == "trk" || name == "rte") {
    EndLine();
    FInTrack = FInRoute = false;
    FLineAttributes.Clear();
  } else if (FCapture == cpAttribute && name == FCaptureName) {
    TWyAttributes& target = FInWpt ? FWptAttributes : FLineAttributes;
    if (!FCaptured.empty() && !target.Has(FCaptureName)) target.Set(FCaptureName, FCaptured);
    FCapture = cpNone;
  } else if (name == "ele" || name == "time") {
    FCapture = cpNone;
  }
}

void TGpxImporter::OnText(TwytXML& xml) {
  switch (FCapture) {
    case cpAttribute:
      // A text written over several lines arrives line by line.
      if (!FCaptured.empty()) FCaptured += ' ';
      FCaptured += xml.NodeText();
      break;
    case cpEle:
      FEle += xml.NodeText();
      break;
    case cpTime:
      FTime += xml.NodeText();
      break;
    case cpNone:
      break;
  }
}

void TGpxImporter::EndWaypoint() {
  if (!FInWpt) return;
  FInWpt = false;
  FCapture = cpNone;
  if (FSink) {
    double ele = 0;
    FSink->Marker(FLatValue, FLngValue, ReadCoordinate(Trim(FEle), 1e6, ele) ? ele : kNoAltitude,
                  FWptAttributes);
    FWptAttributes.Clear();
    FHanded = true;
    return;
  }
  FMarkers.append("drag=false;visible=true;clickable=true;lat=").append(FLat);
  FMarkers.append(";lng=").append(FLng).append(";");
  double ele = 0;
  if (ReadCoordinate(Trim(FEle), 1e6, ele))
    FMarkers.append("alt=").append(FloatToStrDot(ele)).append(";");
  const std::string& name = FWptAttributes.Get("name");
  if (!name.empty()) {
    const std::string text = ImportedText(name);
    FMarkers.append("name=").append(text).append(";title=").append(text).append(";");
  }
  FMarkers.append(FWptAttributes.ToFields());
  FWptAttributes.Clear();
  FMarkers.append("\r\n");
}

void TGpxImporter::EndLinePoint() {
  if (!FInLinePoint) return;
  FInLinePoint = false;
  FCapture = cpNone;
  if (FSink) {
    if (FPointCount == 0) FSink->BeginLine(FTrackKey, FLineAttributes);
    double ele = 0, seconds = 0;
    const std::string eleText = Trim(FEle);
    const bool hasEle = ReadCoordinate(eleText, 1e6, ele);
    if (FTime.empty() || !ParseIsoTime(FTime, seconds)) seconds = kNoTime;
    FSink->LinePoint(FLatValue, FLngValue, hasEle ? ele : kNoAltitude, seconds,
                     {FLat, FLng, hasEle ? std::string_view(eleText) : std::string_view()});
    ++FPointCount;
    return;
  }
  if (FPointCount > 0) {
    FLatLng += ',';
    FAlt += ',';
    FTimes += ',';
  } else {
    FLatLng.append(kLinePrefix);
  }
  FLatLng.append(FLat).append(",").append(FLng);
  double ele = 0;
  const std::string eleText = Trim(FEle);
  if (ReadCoordinate(eleText, 1e6, ele)) {
    FAlt += PlainDecimal(eleText) ? eleText : FloatToStrDot(ele);
    FHasAlt = true;
  } else {
    FAlt += FloatToStrDot(kNoAltitude);
  }
  double seconds = 0;
  if (!FTime.empty() && ParseIsoTime(FTime, seconds)) {
    FTimes += EpochSecondsText(seconds);
    FHasTime = true;
  }
  ++FPointCount;
}

void TGpxImporter::EndLine() {
  EndLinePoint();
  if (FSink) {
    if (FPointCount > 0) {
      FSink->EndLine(FLineAttributes);
      FHanded = true;
    }
    FPointCount = 0;
    return;
  }
  if (FPointCount > 0) {
    // The first line's list becomes the section itself, without a copy.
    if (FLines.empty()) {
      FLines = std::move(FLatLng);
    } else {
      FLines.append(FLatLng);
    }
    if (FHasAlt) FLines.append(";alt=").append(FAlt);
    if (FHasTime) FLines.append(";time=").append(FTimes);
    // A track of one segment is a line of its own and needs no key; the
    // first segment gets its key when a second one follows.
    if (!FTrackKey.empty()) {
      if (++FSegments == 1) {
        FKeyAt = FLines.size();
      } else {
        if (FSegments == 2) FLines.insert(FKeyAt, ";trk=" + FTrackKey);
        FLines.append(";trk=").append(FTrackKey);
      }
    }
    if (!FLineAttributes.Empty()) FLines.append(";").append(FLineAttributes.ToFields());
    FLines.append("\r\n");
  }
  FLatLng.clear();
  FAlt.clear();
  FTimes.clear();
  FHasAlt = false;
  FHasTime = false;
  FPointCount = 0;
}

}  // namespace wy
