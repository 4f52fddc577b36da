#pragma once
// A route as delivered by the directions service: its shape points (some of
// them carrying the turn instruction of a manoeuvre starting there), the
// total length and the total time. The shapes draw it as a polyline with
// labelled points; the services client fills it from a directions answer.
//
// Plain data, no toolkit types. Window thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "geo/object.h"

namespace wy {

class TWyRoutePathPoint {
 public:
  static constexpr double kNoAltitude = -9999;

  TWyRoutePathPoint() = default;
  TWyRoutePathPoint(double dLatitude, double dLongitude, double dAltitude, int32_t lDistance,
                    const std::string& instructions)
      : FLatitude(dLatitude),
        FLongitude(dLongitude),
        FAltitude(dAltitude),
        FInstructions(instructions),
        FDistance(lDistance) {}

  double Latitude() const { return FLatitude; }
  double Longitude() const { return FLongitude; }
  // Metres; kNoAltitude when unknown.
  double Altitude() const { return FAltitude; }
  // The turn instruction as the service wrote it (it may hold div tags).
  const std::string& Instructions() const { return FInstructions; }
  // Cumulative distance from the start of the route, in metres.
  int32_t Distance() const { return FDistance; }
  // The instruction as plain text: the service's div blocks become line
  // breaks, the ends are trimmed, tags removed and character references
  // decoded.
  std::string Text() const;
  // The point as a GPX waypoint: name = Text, desc = the instructions, each
  // only when not empty.
  std::string ToGpx() const;
  // The point as a KML placemark: name = Text, description = the
  // instructions.
  std::string ToKml() const;

 private:
  double FLatitude = 0;
  double FLongitude = 0;
  double FAltitude = kNoAltitude;
  std::string FInstructions;
  int32_t FDistance = 0;
};

class TWyRoutePath : public TObject {
 public:
  // Appends a point (txt becomes its Instructions); returns its index.
  int32_t add(double dLatitude, double dLongitude, double dAltitude, int32_t lDistance,
              const std::string& txt);
  void clear() { FList.clear(); }
  int32_t count() const { return static_cast<int32_t>(FList.size()); }
  // The point at `index`, or null outside 0 .. count - 1. The pointer is
  // valid until the next add or clear.
  const TWyRoutePathPoint* Items(int32_t index) const;
  // Index of the first point whose latitude and longitude both equal the
  // arguments exactly; -1 if none.
  int32_t IndexOfLatLng(double dLatitude, double dLongitude) const;

  // Total length in metres.
  int32_t Distance() const { return FDistance; }
  void SetDistance(int32_t v) { FDistance = v; }
  // Total time in seconds.
  int32_t Duration() const { return FDuration; }
  void SetDuration(int32_t v) { FDuration = v; }

 private:
  std::vector<TWyRoutePathPoint> FList;
  int32_t FDistance = 0;
  int32_t FDuration = 0;
};

}  // namespace wy
