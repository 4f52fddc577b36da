#pragma once
// The receiving end of a reader that hands its shapes over one by one
// instead of writing them as shape text: markers whole, lines point by
// point, so that a long track never exists as objects in memory.

#include <string>
#include <string_view>

#include "geo/attributes.h"

namespace wy {

// A point's numbers as the file wrote them (empty when unknown), for a
// writer that can copy them instead of formatting the numbers again.
struct TPointTexts {
  std::string_view lat, lng, alt;
};

class TShapeSink {
 public:
  virtual ~TShapeSink() = default;

  // A marker; `alt` is kNoAltitude when it has none.
  virtual void Marker(double lat, double lng, double alt, const TWyAttributes& attributes) = 0;
  // One line: BeginLine, LinePoint for each point, EndLine. Lines that
  // share a non-empty `trackKey` one after the other are the segments of
  // one track. The attributes are handed at both ends: a reader may learn
  // some only after the points.
  virtual void BeginLine(const std::string& trackKey, const TWyAttributes& attributes) = 0;
  virtual void LinePoint(double lat, double lng, double alt, double time,
                         const TPointTexts& texts) = 0;
  virtual void EndLine(const TWyAttributes& attributes) = 0;
};

}  // namespace wy
