#pragma once
// The geolocalisation component as the shapes see it: their lazy address
// and altitude look-ups go through this adapter to the component the
// application gave the map.

#include <string>
#include <vector>

#include "geo/world_info.h"
#include "shapes/shapes_host.h"

namespace wy {

class TWyGeoLocalise;

class TWyGeoServicesAdapter : public TWyShapeGeoServices {
 public:
  // The component must outlive the adapter.
  explicit TWyGeoServicesAdapter(TWyGeoLocalise& component) : FComponent(component) {}

  TWyGeoLocalise& Component() const { return FComponent; }

  // The component's reverse geocoding, markup neutralised; "" on failure.
  std::string ReverseGeocode(double Lat, double Lng) override;
  // The component's heights of the points, one per point. False when the
  // component gives none, fewer or more values than points, or a value that
  // is not a number.
  bool Elevations(const std::vector<TLatLng>& Points, std::vector<double>& Altitudes) override;

  // The heights in an answer of the component: numbers separated by commas
  // or line breaks, blanks around them ignored. False (Altitudes emptied)
  // when a value is not a number or there is none.
  static bool ParseAltitudes(const std::string& text, std::vector<double>& Altitudes);

 private:
  TWyGeoLocalise& FComponent;
};

}  // namespace wy
