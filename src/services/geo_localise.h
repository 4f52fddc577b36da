#pragma once
// The geolocalisation component: one face for the geo services an
// application uses next to the map. It owns the open map services client
// (address search, reverse geocoding, elevations, routes), the places search
// and the traffic client; it relays their completions as its own events and
// keeps one local cache folder for all of them.
//
// Routes and heights come from the client's directions and elevation
// requests, whichever server answers them (services/mapquest_services.h).
//
// Threads: create, use and destroy the component on the window thread. Every
// event fires there. Search, Reverse, Altitude, Altitudes, RoutePath and
// AlignLatLngToRoute block the calling thread for a network round trip
// unless the answer is in the disk cache.
//
// Destroying the component (also from one of its own event handlers) stops
// the running workers, waits for them and drops their completions: no event
// fires afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <deque>
#include <vector>

#include "geo/object.h"
#include "geo/route_path.h"
#include "services/bing_services.h"
#include "services/geocoding.h"
#include "services/mapquest_services.h"
#include "services/places.h"

namespace wy {

// A copy of one address search result that owns its lines, so that it stays
// readable after the client's result list was replaced or freed.
class TWyGeoResult : public TNominatimResult {
 public:
  TWyGeoResult() { TNominatimResult::SetDataList(&FLines); }
  TWyGeoResult(const TWyGeoResult& other) : TNominatimResult(), FLines(other.FLines) {
    TNominatimResult::SetDataList(&FLines);
  }
  TWyGeoResult& operator=(const TWyGeoResult& other) {
    FLines = other.FLines;
    return *this;
  }

  // Replaces the lines by a copy of `lines`; null leaves the result empty
  // (Latitude and Longitude -1, every value "").
  void Assign(const TAttributeList* lines);
  const TAttributeList& Lines() const { return FLines; }

 private:
  // The result always shows its own lines.
  using TNominatimResult::SetDataList;

  TAttributeList FLines;
};

class TWyGeoLocalise {
 public:
  using TNotifyEvent = std::function<void(TWyGeoLocalise* sender)>;
  using TOnASyncSearchEvent = std::function<void(TOpenMapQuestServices* sender)>;
  using TOnReverseEvent = std::function<void(TWyGeoLocalise* sender, const std::string& Adress)>;
  using TOnAltitudeEvent =
      std::function<void(TWyGeoLocalise* sender, const std::string& Altitudes)>;
  // params: the request text of the route as it was asked for; path: the
  // route, empty (count 0) when there is none. The path lives for the call.
  using TOnRoutePath = std::function<void(TWyGeoLocalise* sender, const std::string& params,
                                          const TWyRoutePath& path)>;
  // sender: the traffic client; value: the incidents as marker text.
  using TOnTrafficLayer = std::function<void(TObject* sender, const std::string& value)>;

  TWyGeoLocalise();
  ~TWyGeoLocalise();
  TWyGeoLocalise(const TWyGeoLocalise&) = delete;
  TWyGeoLocalise& operator=(const TWyGeoLocalise&) = delete;

  TOpenMapQuestServices& MapQuestServices() { return *FMapQuest; }
  TWyPlaces& Places() { return *FPlaces; }
  TBingServices& Traffic() { return *FBing; }

  // --- Address search
  int SearchCount() const { return FMapQuest->SearchCount(); }
  // The current search results: one line per place, its display name.
  const TServiceResultList& SearchResults() const { return FMapQuest->SearchResults(); }
  // Copies the client's result `index` into the component's own result and
  // returns that. The copy stays as it is through later searches until the
  // next SearchResult call. An index outside the current results gives the
  // place the client showed last, as long as its list is still the current
  // one; otherwise (nothing shown yet, results replaced since) an empty
  // result: Latitude and Longitude -1.
  TWyGeoResult& SearchResult(int index);

  // Synchronous search with `address` as request text (an address as one
  // query value, possibly followed by further query keys:
  // EncodeQueryValue(typed) + "&countrycodes=fr"). Returns SearchCount.
  int Search(const std::string& address);
  // Queued search; OnASyncSearch fires when it is done.
  void ASyncSearch(const std::string& address);

  // --- Reverse geocoding
  // The address of a point (display name); "" when the point is not
  // resolved or the service cannot be reached.
  std::string Reverse(double Latitude, double Longitude);
  // Queued form; OnReverse receives the address.
  void ASyncReverse(double Latitude, double Longitude);

  // --- Routes
  // Request texts of a route between two addresses and through a list of
  // latitude, longitude pairs, with English instructions and `params`
  // appended ("&routeType=pedestrian", ...). The coordinate form is "" for
  // fewer than two points or an odd count.
  static std::string RouteByAddressText(const std::string& StartAdress,
                                        const std::string& EndAdress, const std::string& params);
  static std::string RouteFromText(const std::vector<double>& points, const std::string& params);
  // The route for a request text; null when there is none.
  std::unique_ptr<TWyRoutePath> RoutePath(const std::string& text);
  // Queued form: the routes are asked for one after the other in the order
  // of the calls; each ends with `done` when given, otherwise OnRoutePath,
  // carrying its own text. An empty text is ignored. A request whose
  // `wanted` flag (when given) is false by the time its turn comes is
  // dropped without being sent or delivered: a caller that goes away sets
  // it so.
  void AsyncRoutePath(const std::string& text, TOnRoutePath done = {},
                      std::shared_ptr<bool> wanted = nullptr);
  // Queued routes not yet delivered, the running one included.
  size_t PendingRoutes() const { return FRoutes.size(); }

  // --- Elevations
  // Height of a point in metres; kNoAltitude (-9999) when none.
  double Altitude(double Latitude, double Longitude);
  // Heights of a list of points "lat,lng,lat,lng,...", comma separated
  // ("100,120"); "" when none.
  std::string Altitudes(const std::string& sLatLngs);
  // Queued form; OnAltitude receives one height per line.
  void AsyncAltitude(const std::string& sLatLngs);
  // Moves the point to the nearest routable position; false (the point left
  // as it is) when that is not possible.
  bool AlignLatLngToRoute(double& dLatitude, double& dLongitude);

  // --- Places search
  // Starts a places search around (Lat, Lng) for the tag filter, with the
  // places search's Radius. Ignored, Lat and Lng included, while a search
  // runs.
  void PlaceSearch(double Lat, double Lng, const std::string& Tags);
  // 0 when no places search runs. Otherwise the whole seconds since the
  // running search started; when they exceed MaxTimeInSecond the search is
  // aborted first, so OnSearch fires before this returns.
  uint32_t AbortPlaceSearchIfMaxTime(uint32_t MaxTimeInSecond);
  // Aborts the running places search (OnSearch fires); nothing otherwise.
  void AbortPlaceSearch();

  // --- Traffic incidents
  // Asks for the incidents inside the box (queued behind earlier requests);
  // OnTrafficLayer, then OnTraffic fire with the result, also when the
  // request failed (then with an empty marker text).
  void TrafficArea(double dLatSW, double dLngSW, double dLatNE, double dLngNE);
  // The request text TrafficArea hands to the traffic client:
  // "latSW,lngSW,latNE,lngNE?o=xml&key=" + the process-wide Bing key, the
  // numbers with 5 decimals.
  static std::string TrafficAreaParams(double dLatSW, double dLngSW, double dLatNE, double dLngNE);
  // The incidents as marker text, and the raw answer; "" when none.
  std::string TrafficTxtResults() const { return FBing->TrafficTxtResults(); }
  std::string TrafficXmlResults() const { return FBing->TrafficXmlResults(); }
  // Icon of each incident severity (the traffic client's; Minor and
  // Moderate share one). Empty by default unless "traffic.icon-base" is set:
  // a map showing the traffic layer then fills in the icons it draws.
  const std::string& TrafficIconLowImpact() const { return FBing->IconLowImpact(); }
  const std::string& TrafficIconMinor() const { return FBing->IconMinor(); }
  const std::string& TrafficIconModerate() const { return FBing->IconModerate(); }
  const std::string& TrafficIconSerious() const { return FBing->IconSerious(); }
  const std::string& TrafficIconRoadClosed() const { return FBing->IconRoadClosed(); }
  void SetTrafficIconLowImpact(const std::string& value) { FBing->SetIconLowImpact(value); }
  void SetTrafficIconMinor(const std::string& value) { FBing->SetIconMinor(value); }
  void SetTrafficIconModerate(const std::string& value) { FBing->SetIconModerate(value); }
  void SetTrafficIconSerious(const std::string& value) { FBing->SetIconSerious(value); }
  void SetTrafficIconRoadClosed(const std::string& value) { FBing->SetIconRoadClosed(value); }

  // --- Cache
  // Root folder of the answer caches of the address services
  // (<folder>/OPEN_MAPQUEST_SERVICES/...) and of the places search
  // (<folder>/PLACES/...); empty: no cache. Writing it sets both clients.
  const std::string& LocalCache() const { return FLocalCache; }
  void SetLocalCache(const std::string& folder);

  // --- Events, fired on the window thread; empty = skipped.
  // A places search ended, failed or was aborted: once per search.
  TNotifyEvent OnSearch;
  // An ASyncSearch is done; the sender is the services client.
  TOnASyncSearchEvent OnASyncSearch;
  // An ASyncReverse is done.
  TOnReverseEvent OnReverse;
  // An asynchronous elevation request is done.
  TOnAltitudeEvent OnAltitude;
  // An AsyncRoutePath request is done.
  TOnRoutePath OnRoutePath;
  // Traffic incidents arrived: OnTrafficLayer with the marker text, then
  // OnTraffic.
  TNotifyEvent OnTraffic;
  TOnTrafficLayer OnTrafficLayer;

 private:
  struct TPendingRoute {
    std::string Params;   // as the caller gave it
    std::string Request;  // as the client answers it
    TOnRoutePath Done;    // empty: OnRoutePath
    std::shared_ptr<bool> Wanted;
  };

  void RelayPlacesSearch(TWyPlaces& places);
  void RelayDirections();
  void StartNextRoute();

  std::unique_ptr<TOpenMapQuestServices> FMapQuest;
  std::unique_ptr<TWyPlaces> FPlaces;
  std::unique_ptr<TBingServices> FBing;
  TWyGeoResult FWyGeoResult;
  std::string FLocalCache;
  // Cleared by the destructor: a relay whose first handler destroyed the
  // component stops there.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  // AsyncRoutePath requests; the first is running when FRouteRunning.
  std::deque<TPendingRoute> FRoutes;
  bool FRouteRunning = false;
  // The places search last reported through OnSearch (its generation).
  uint64_t FRelayedSearch = 0;
};

}  // namespace wy
