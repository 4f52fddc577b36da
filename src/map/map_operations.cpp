// The map's application-level operations: the geolocalisation component and
// the address look-ups through it, the geodesy helpers as methods of the
// map, the process-wide service keys, the registry's icons and hint window,
// and the relays of the registry's events.
#include <cmath>

#include "geo/geodesy.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "map/detail/fire_event.h"
#include "map/detail/geo_services_adapter.h"
#include "map/detail/map_control_private.h"
#include "map/map_control.h"
#include "map/traffic_layer.h"
#include "platform/window_thread.h"
#include "services/geo_localise.h"
#include "shapes/shapes_group.h"

namespace wy {

void TVuroduDavControl::TPrivate::InstallShapeRelays() {
  // The relays read the map's handler when the registry raises the event,
  // so handlers assigned at any time are honoured; none fires once the map
  // is being destroyed.
  const auto relay = [this](wy::TNotifyEvent TVuroduDavControl::*event) {
    return [this, event](TObject* sender) {
      if (!FDestroying) Fire(FOwner.*event, sender);
    };
  };
  FShapesGroup->OnShapePathChange = relay(&TVuroduDavControl::OnShapePathChange);
  FShapesGroup->OnCloseInfoWindow = relay(&TVuroduDavControl::OnCloseInfoWindow);
  FShapesGroup->OnTraffic = relay(&TVuroduDavControl::OnTraffic);
  FShapesGroup->OnLoadShapes = [this](TObject* sender, const std::string& type, int32_t index,
                                      int32_t max, bool& cancel) {
    if (FDestroying) return;
    // A long read keeps the window painting (user input waits, so nothing
    // re-enters the reading).
    if (FAntiFreezeOnLoad && index % 100 == 0) ProcessPendingMessagesExceptInput();
    if (!FDestroying) Fire(FOwner.OnLoadShapes, sender, type, index, max, cancel);
  };
}

void TVuroduDavControl::SetGeoLocalise(TWyGeoLocalise* value) {
  if (value == FD->FGeoLocalise) return;
  std::unique_ptr<TWyGeoServicesAdapter> adapter;
  if (value) {
    if (value->LocalCache().empty()) value->SetLocalCache(LocalCache());
    adapter = std::make_unique<TWyGeoServicesAdapter>(*value);
  }
  // The registry lets go of the old adapter before it is freed.
  FD->FShapesGroup->SetGeoLocalise(adapter.get());
  FD->FGeoAdapter = std::move(adapter);
  FD->FGeoLocalise = value;
  if (FD->FTrafficLayer) FD->FTrafficLayer->Bind(value);
}

std::string TVuroduDavControl::Address() {
  return GetAddressFromLatLng(Latitude(), Longitude());
}

void TVuroduDavControl::SetAddress(const std::string& value) {
  double lat = 0, lng = 0;
  if (GetLatLngFromAddress(value, lat, lng)) setCenter(lat, lng);
}

std::string TVuroduDavControl::GetAddressFromLatLng(double dLatitude, double dLongitude) {
  if (!FD->FGeoLocalise) return std::string();
  return NeutraliseMarkup(FD->FGeoLocalise->Reverse(dLatitude, dLongitude));
}

bool TVuroduDavControl::GetLatLngFromAddress(const std::string& sAddress, double& dLatitude,
                                             double& dLongitude) {
  if (!FD->FGeoLocalise || FD->FGeoLocalise->Search(EncodeQueryValue(sAddress)) <= 0) return false;
  const TWyGeoResult& first = FD->FGeoLocalise->SearchResult(0);
  const double lat = first.Latitude();
  const double lng = first.Longitude();
  // A result without a readable coordinate is no place to go to.
  if (!std::isfinite(lat) || !std::isfinite(lng)) return false;
  dLatitude = lat;
  dLongitude = lng;
  return true;
}

bool TVuroduDavControl::ContainsLatLng(double dLatitude, double dLongitude) const {
  return SouthWestLatitude() <= dLatitude && dLatitude <= NorthEastLatitude() &&
         SouthWestLongitude() <= dLongitude && dLongitude <= NorthEastLongitude();
}

double TVuroduDavControl::DistanceFrom(double dLatitudeStart, double dLongitudeStart,
                                       double dLatitudeEnd, double dLongitudeEnd) const {
  return wy::DistanceFrom(dLatitudeStart, dLongitudeStart, dLatitudeEnd, dLongitudeEnd);
}

int32_t TVuroduDavControl::bearing(double lat1, double lng1, double lat2, double lng2) const {
  return wy::bearing(lat1, lng1, lat2, lng2);
}

void TVuroduDavControl::LatLonFromDistanceBearing(double lat1, double lon1, double brng,
                                                  double meters, double& lat2, double& lon2) const {
  wy::LatLonFromDistanceBearing(lat1, lon1, brng, meters, lat2, lon2);
}

void TVuroduDavControl::boundingCoordinates(double lat, double lng, double radius, double& latSW,
                                            double& lngSW, double& latNE, double& lngNE) const {
  wy::boundingCoordinates(lat, lng, radius, latSW, lngSW, latNE, lngNE);
}

// The keys live in the settings registry, which guards them with its lock:
// service workers read them while the window thread may write them.
std::string TVuroduDavControl::CloudMadKey() {
  return GetServiceKey(skCloudMade);
}

void TVuroduDavControl::SetCloudMadKey(const std::string& value) {
  SetServiceKey(skCloudMade, value);
}

std::string TVuroduDavControl::BingKey() {
  return GetServiceKey(skBing);
}

void TVuroduDavControl::SetBingKey(const std::string& value) {
  SetServiceKey(skBing, value);
}

std::string TVuroduDavControl::MapQuestKey() {
  return GetServiceKey(skMapQuest);
}

void TVuroduDavControl::SetMapQuestKey(const std::string& value) {
  SetServiceKey(skMapQuest, value);
}

TWyShapeInfoWindow* TVuroduDavControl::HintInfoWindow() {
  return FD->FShapesGroup->HintWindow();
}

std::vector<QImage>& TVuroduDavControl::Icons() {
  return FD->FShapesGroup->Icons();
}

void TVuroduDavControl::SetIcons(std::vector<QImage> icons) {
  FD->FShapesGroup->SetIcons(std::move(icons));
}

}  // namespace wy
