#include "formats/gpx_export.h"

#include "formats/export_text.h"
#include "formats/param_parser.h"
#include "geo/memory_advice.h"
#include "geo/text_convert.h"

namespace wy {

const char* const TGpxWriter::kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\" version=\"1.1\" creator=\"TWyVuroduDav\">";

namespace {

void AppendLatLon(std::string& out, const char* tag, double lat, double lng,
                  std::string_view latText = {}, std::string_view lngText = {}) {
  out += '<';
  out += tag;
  out += " lat=\"";
  AppendPlainDecimal(out, lat, latText);
  out += "\" lon=\"";
  AppendPlainDecimal(out, lng, lngText);
  out += '"';
}

void AppendElement(std::string& out, const char* tag, const std::string& text) {
  if (text.empty()) return;
  out += '<';
  out += tag;
  out += '>';
  AppendXmlText(out, text);
  out += "</";
  out += tag;
  out += '>';
}

// A time attribute as GPX wants it (UTC, "Z"); a text that is no time is
// left out.
void AppendTimeAttribute(std::string& out, const TWyAttributes& attributes) {
  double seconds = 0;
  if (attributes.Has("time") && ParseIsoTime(attributes.Get("time"), seconds))
    AppendElement(out, "time", IsoTimeText(seconds));
}

}  // namespace

void TGpxWriter::Waypoint(double lat, double lng, double alt, const TWyAttributes& a,
                          const std::string& hint) {
  if (!a.Has("name")) {
    // Without a name of its own the hint names and describes the point;
    // the other attributes still go out.
    TWyAttributes named = a;
    named.Set("name", hint);
    if (!a.Has("desc")) named.Set("desc", hint);
    Waypoint(lat, lng, alt, named, "");
    return;
  }
  AppendLatLon(FWaypoints, "wpt", lat, lng);
  FWaypoints += '>';
  // GPX orders a waypoint's children: ele, time, name, cmt, desc, link,
  // sym, type.
  if (alt != kNoAltitude) {
    FWaypoints += "<ele>";
    AppendPlainDecimal(FWaypoints, alt);
    FWaypoints += "</ele>";
  }
  AppendTimeAttribute(FWaypoints, a);
  AppendElement(FWaypoints, "name", a.Get("name"));
  AppendElement(FWaypoints, "cmt", a.Get("cmt"));
  AppendElement(FWaypoints, "desc", a.Get("desc"));
  if (!a.Get("link").empty()) {
    FWaypoints += "<link href=\"";
    AppendXmlText(FWaypoints, a.Get("link"));
    FWaypoints += "\"/>";
  }
  AppendElement(FWaypoints, "sym", a.Get("sym"));
  AppendElement(FWaypoints, "type", a.Get("type"));
  FWaypoints += "</wpt>\r\n";
}

void TGpxWriter::Waypoint(double lat, double lng, double alt, const std::string& name,
                          const std::string& description) {
  AppendLatLon(FWaypoints, "wpt", lat, lng);
  if (alt == kNoAltitude && name.empty() && description.empty()) {
    FWaypoints += "/>\r\n";
    return;
  }
  FWaypoints += '>';
  // GPX orders a waypoint's children: ele, name, desc.
  if (alt != kNoAltitude) {
    FWaypoints += "<ele>";
    AppendPlainDecimal(FWaypoints, alt);
    FWaypoints += "</ele>";
  }
  if (!name.empty()) {
    FWaypoints += "<name>";
    AppendXmlText(FWaypoints, name);
    FWaypoints += "</name>";
  }
  if (!description.empty()) {
    FWaypoints += "<desc>";
    AppendXmlText(FWaypoints, description);
    FWaypoints += "</desc>";
  }
  FWaypoints += "</wpt>\r\n";
}

void TGpxWriter::BeginTrack() {
  BeginTrack(TWyAttributes(), "");
}

void TGpxWriter::BeginTrack(const TWyAttributes& a, const std::string& trackKey) {
  if (FTrackOpen && !trackKey.empty() && trackKey == FOpenKey) {
    FTracks += "<trkseg>\r\n";
    return;
  }
  if (FTrackOpen) FTracks += "</trk>\r\n";
  FTrackOpen = false;
  // A track's children: name, cmt, desc, src, link, number, type, trkseg.
  FTracks += "<trk>";
  AppendElement(FTracks, "name", a.Get("name"));
  AppendElement(FTracks, "cmt", a.Get("cmt"));
  AppendElement(FTracks, "desc", a.Get("desc"));
  int32_t number = 0;
  if (ParseParamInt(a.Get("number"), number) && number >= 0)
    AppendElement(FTracks, "number", std::to_string(number));
  AppendElement(FTracks, "type", a.Get("type"));
  FTracks += "<trkseg>\r\n";
  FOpenKey = trackKey;
}

void TGpxWriter::TrackPoint(double lat, double lng, double alt, double time) {
  TrackPoint(lat, lng, alt, time, {}, {}, {});
}

void TGpxWriter::TrackPoint(double lat, double lng, double alt, double time,
                            std::string_view latText, std::string_view lngText,
                            std::string_view altText) {
  AppendLatLon(FTracks, "trkpt", lat, lng, latText, lngText);
  if (alt == kNoAltitude && time == kNoTime) {
    FTracks += "/>\r\n";
    return;
  }
  FTracks += '>';
  if (alt != kNoAltitude) {
    FTracks += "<ele>";
    AppendPlainDecimal(FTracks, alt, altText);
    FTracks += "</ele>";
  }
  if (time != kNoTime) {
    FTracks += "<time>";
    AppendIsoTime(FTracks, time);
    FTracks += "</time>";
  }
  FTracks += "</trkpt>\r\n";
}

void TGpxWriter::EndTrack() {
  FTracks += "</trkseg>";
  if (FOpenKey.empty()) {
    FTracks += "</trk>\r\n";
  } else {
    // Left open: the next segment may belong to the same track.
    FTracks += "\r\n";
    FTrackOpen = true;
  }
}

void TGpxWriter::Reserve(size_t points) {
  ReserveText(FTracks, FTracks.size() + points * 48);
}

std::string TGpxWriter::Fragment() const {
  return FWaypoints + FTracks + (FTrackOpen ? "</trk>\r\n" : "");
}

bool TGpxWriter::TakeDocument(const std::function<bool(std::string_view)>& write) {
  const bool ok = write(std::string(kHeader) + "\r\n") && write(FWaypoints) && write(FTracks) &&
                  write(FTrackOpen ? "</trk>\r\n</gpx>\r\n" : "</gpx>\r\n");
  FWaypoints.clear();
  FTracks.clear();
  FTrackOpen = false;
  FOpenKey.clear();
  return ok;
}

std::string TGpxWriter::TakeDocument() {
  std::string out;
  ReserveText(out, FWaypoints.size() + FTracks.size() + 512);
  out += kHeader;
  out += "\r\n";
  out += FWaypoints;
  out += FTracks;
  if (FTrackOpen) out += "</trk>\r\n";
  out += "</gpx>\r\n";
  FWaypoints.clear();
  FTracks.clear();
  FTrackOpen = false;
  FOpenKey.clear();
  return out;
}

}  // namespace wy
