#include "formats/gpx_export.h"

#include "formats/export_text.h"
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

void AppendLatLon(std::string& out, const char* tag, double lat, double lng) {
  out += '<';
  out += tag;
  out += " lat=\"";
  AppendPlainDecimal(out, lat);
  out += "\" lon=\"";
  AppendPlainDecimal(out, lng);
  out += '"';
}

}  // namespace

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
  FTracks += "<trk><trkseg>\r\n";
}

void TGpxWriter::TrackPoint(double lat, double lng, double alt) {
  AppendLatLon(FTracks, "trkpt", lat, lng);
  if (alt == kNoAltitude) {
    FTracks += "/>\r\n";
  } else {
    FTracks += "><ele>";
    AppendPlainDecimal(FTracks, alt);
    FTracks += "</ele></trkpt>\r\n";
  }
}

void TGpxWriter::EndTrack() {
  FTracks += "</trkseg></trk>\r\n";
}

void TGpxWriter::Reserve(size_t points) {
  ReserveText(FTracks, FTracks.size() + points * 48);
}

std::string TGpxWriter::Fragment() const {
  return FWaypoints + FTracks;
}

std::string TGpxWriter::TakeDocument() {
  std::string out;
  ReserveText(out, FWaypoints.size() + FTracks.size() + 512);
  out += kHeader;
  out += "\r\n";
  out += FWaypoints;
  out += FTracks;
  out += "</gpx>\r\n";
  FWaypoints.clear();
  FTracks.clear();
  return out;
}

}  // namespace wy
