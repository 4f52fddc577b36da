#pragma once
// Writing GPX 1.1 documents: waypoints and tracks, appended one by one.
// Waypoints and tracks are gathered apart because GPX wants every waypoint
// before the first track, whatever order the caller visits them in.
//
// Numbers are plain decimals with "." whatever the locale; free text is
// escaped. Every point handed in is written (no thinning).

#include <string>

namespace wy {

class TGpxWriter {
 public:
  // A waypoint; `name` and `description` are left out when empty, the
  // elevation when `alt` is -9999 (none).
  void Waypoint(double lat, double lng, double alt, const std::string& name,
                const std::string& description);
  // One track of one segment: BeginTrack, TrackPoint for each point, EndTrack.
  // An altitude of -9999 (none) writes no elevation.
  void BeginTrack();
  void TrackPoint(double lat, double lng, double alt);
  void EndTrack();
  // Room for about `points` more track points.
  void Reserve(size_t points);

  // The waypoints followed by the tracks, without the document around them.
  std::string Fragment() const;
  // The whole document: declaration, gpx root, waypoints, tracks, end tag.
  // The writer is left empty.
  std::string TakeDocument();

  // The start of every document, declaration and gpx start tag, on one line.
  static const char* const kHeader;

 private:
  std::string FWaypoints;
  std::string FTracks;
};

}  // namespace wy
