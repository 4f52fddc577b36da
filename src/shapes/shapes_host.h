#pragma once
// The seam between the shapes and the map that shows them.

#include <string>
#include <vector>

#include "geo/object.h"
#include "geo/world_info.h"

namespace wy {

class TWyShapes;

// What the shapes need from the map that shows them.
class TWyShapesHost {
 public:
  virtual ~TWyShapesHost() = default;
  // Asks for a repaint; repaints are coalesced by the map. Any thread (the
  // graphic pool's listener calls it from the pool's thread).
  virtual void RequestRepaint() = 0;
  // The object passed as Sender to shape events (the map).
  virtual TObject* EventSender() = 0;
  // A group finished reading its text (the map posts WM_MAPGROUPLOADED to
  // itself and raises its load event later). Window thread.
  virtual void GroupLoaded(TWyShapes* group) { (void)group; }
};

// Blocking geo services some shapes use lazily (address, altitude). May be absent.
class TWyShapeGeoServices {
 public:
  virtual ~TWyShapeGeoServices() = default;
  virtual std::string ReverseGeocode(double Lat, double Lng) = 0;  // "" on failure
  // One altitude per point, false on failure (later: line elevation profiles).
  virtual bool Elevations(const std::vector<TLatLng>& Points, std::vector<double>& Altitudes) = 0;
};

}  // namespace wy
