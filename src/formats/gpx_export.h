#pragma once
// Writing GPX 1.1 documents: waypoints and tracks, appended one by one.
// Waypoints and tracks are gathered apart because GPX wants every waypoint
// before the first track, whatever order the caller visits them in.
//
// Numbers are plain decimals with "." whatever the locale; free text is
// escaped. Every point handed in is written (no thinning).
//
// Attributes with a GPX element of their own are written as that element:
// a waypoint's name, cmt, desc, link (an address), sym, type and time, a
// track's name, cmt, desc, number and type. Other attributes have no place
// in GPX and are left out.

#include <functional>
#include <string>
#include <string_view>

#include "geo/attributes.h"
#include "geo/iso_time.h"

namespace wy {

class TGpxWriter {
 public:
  // A waypoint; `name` and `description` are left out when empty, the
  // elevation when `alt` is -9999 (none).
  void Waypoint(double lat, double lng, double alt, const std::string& name,
                const std::string& description);
  // A waypoint whose attributes give its elements; without a "name"
  // attribute `hint` is its name and description.
  void Waypoint(double lat, double lng, double alt, const TWyAttributes& attributes,
                const std::string& hint);
  // One track segment: BeginTrack, TrackPoint for each point, EndTrack.
  // Consecutive segments with the same non-empty `trackKey` are written as
  // segments of one track, which takes the attributes of the first.
  // An altitude of -9999 (none) writes no elevation, a time of kNoTime
  // none.
  void BeginTrack();
  void BeginTrack(const TWyAttributes& attributes, const std::string& trackKey);
  void TrackPoint(double lat, double lng, double alt, double time = kNoTime);
  // The same with the numbers as a file wrote them (see AppendPlainDecimal).
  void TrackPoint(double lat, double lng, double alt, double time, std::string_view latText,
                  std::string_view lngText, std::string_view altText);
  void EndTrack();
  // Room for about `points` more track points.
  void Reserve(size_t points);

  // The waypoints followed by the tracks, without the document around them.
  std::string Fragment() const;
  // The whole document: declaration, gpx root, waypoints, tracks, end tag.
  // The writer is left empty.
  std::string TakeDocument();
  // The same document handed to `write` in pieces, each ending at a line
  // end, without gathering it in one text; false when `write` refused one.
  // The writer is left empty.
  bool TakeDocument(const std::function<bool(std::string_view)>& write);

  // The start of every document, declaration and gpx start tag, on one line.
  static const char* const kHeader;

 private:
  std::string FWaypoints;
  std::string FTracks;
  // The track left open for a next segment of the same key.
  bool FTrackOpen = false;
  std::string FOpenKey;
};

}  // namespace wy
