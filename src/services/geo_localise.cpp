#include "services/geo_localise.h"

#include <utility>

#include "geo/settings.h"
#include "geo/text_convert.h"
#include "platform/tick.h"
#include "services/directions_answer.h"

namespace wy {

namespace {

// The options of every route request. The instructions are asked for in
// English: the OSRM instructions are composed in English whatever is asked.
const char kRouteOptions[] =
    "locale=en_EN&outFormat=json&timeType=1&enhancedNarrative=true&shapeFormat=raw&"
    "generalize=0&unit=k&";

// A request text is one line of the client's queue.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// Query text of a reverse geocoding request.
std::string ReverseParams(double latitude, double longitude) {
  return "lat=" + FloatToStrDot(latitude) + "&lon=" + FloatToStrDot(longitude);
}

}  // namespace

void TWyGeoResult::Assign(const TAttributeList* lines) {
  if (lines == &FLines) return;
  if (lines != nullptr)
    FLines = *lines;
  else
    FLines.Clear();
}

TWyGeoLocalise::TWyGeoLocalise()
    : FMapQuest(std::make_unique<TOpenMapQuestServices>()),
      FPlaces(std::make_unique<TWyPlaces>()),
      FBing(std::make_unique<TBingServices>()) {
  // The relays read the handler at the moment they fire, so events assigned
  // later are honoured; each copies it first because a handler may replace
  // itself or destroy the component. Nothing of the component is touched
  // after a handler returns.
  FPlaces->OnPlacesSearch = [this](TWyPlaces& places) { RelayPlacesSearch(places); };
  FMapQuest->OnSearch = [this](TOpenMapQuestServices* sender) {
    const TOnASyncSearchEvent handler = OnASyncSearch;
    if (handler) handler(sender);
  };
  FMapQuest->OnReverse = [this](TOpenMapQuestServices* sender) {
    const TOnReverseEvent handler = OnReverse;
    if (handler) handler(this, sender->ReverseResult().Display_name());
  };
  FMapQuest->OnAltitude = [this](TOpenMapQuestServices* sender) {
    const TOnAltitudeEvent handler = OnAltitude;
    if (handler) handler(this, sender->AltitudeResults().Text());
  };
  FMapQuest->OnDirections = [this](TOpenMapQuestServices*) { RelayDirections(); };
  FBing->OnTraffic = [this](TBingServices* sender) {
    // The layer handler may destroy the component: OnTraffic then does not
    // fire, and nothing of the component is touched.
    const std::shared_ptr<bool> alive = FAlive;
    const TOnTrafficLayer layer = OnTrafficLayer;
    if (layer) layer(sender, sender->TrafficTxtResults());
    if (!*alive) return;
    const TNotifyEvent done = OnTraffic;
    if (done) done(this);
  };
}

TWyGeoLocalise::~TWyGeoLocalise() {
  *FAlive = false;
  // No relay may reach the application while the clients wind down; their
  // own destructors stop and join their workers and drop what is queued.
  OnSearch = nullptr;
  OnASyncSearch = nullptr;
  OnReverse = nullptr;
  OnAltitude = nullptr;
  OnRoutePath = nullptr;
  OnTraffic = nullptr;
  OnTrafficLayer = nullptr;
  FBing.reset();
  FPlaces.reset();
  FMapQuest.reset();
}

void TWyGeoLocalise::RelayPlacesSearch(TWyPlaces& places) {
  // An aborted search reports at once, and its worker reports once more
  // when it ends: only the first report of each search is passed on, so a
  // listener never sees a stale end (which could stop the timing of a newer
  // search).
  const uint64_t search = places.SearchGeneration();
  if (search == FRelayedSearch) return;
  FRelayedSearch = search;
  const TNotifyEvent handler = OnSearch;
  if (handler) handler(this);
}

TWyGeoResult& TWyGeoLocalise::SearchResult(int index) {
  // The client's view shows nothing (null list) once the list it showed was
  // replaced: the copy is then empty rather than read from freed memory.
  FWyGeoResult.Assign(FMapQuest->SearchResult(index).DataList());
  return FWyGeoResult;
}

int TWyGeoLocalise::Search(const std::string& address) {
  FMapQuest->Search(address);
  return SearchCount();
}

void TWyGeoLocalise::ASyncSearch(const std::string& address) {
  FMapQuest->AsyncSearch(address);
}

std::string TWyGeoLocalise::Reverse(double Latitude, double Longitude) {
  if (!FMapQuest->Reverse(ReverseParams(Latitude, Longitude))) return std::string();
  return FMapQuest->ReverseResult().Display_name();
}

void TWyGeoLocalise::ASyncReverse(double Latitude, double Longitude) {
  FMapQuest->AsyncReverse(ReverseParams(Latitude, Longitude));
}

double TWyGeoLocalise::Altitude(double Latitude, double Longitude) {
  if (FMapQuest->Altitude(TwoFloatsToText(Latitude, Longitude)) == 0) return kNoAltitude;
  double height = kNoAltitude;
  if (!TryStrToFloatDot(FMapQuest->AltitudeResults().Strings(0), height)) return kNoAltitude;
  return height;
}

std::string TWyGeoLocalise::Altitudes(const std::string& sLatLngs) {
  const int count = FMapQuest->Altitude(sLatLngs);
  std::string joined;
  for (int i = 0; i < count; ++i) {
    if (i > 0) joined += ',';
    joined += FMapQuest->AltitudeResults().Strings(i);
  }
  return joined;
}

void TWyGeoLocalise::AsyncAltitude(const std::string& sLatLngs) {
  FMapQuest->AsyncAltitude(OneLine(sLatLngs));
}

bool TWyGeoLocalise::AlignLatLngToRoute(double& dLatitude, double& dLongitude) {
  return FMapQuest->AlignLatLngToRoute(dLatitude, dLongitude);
}

std::string TWyGeoLocalise::RouteByAddressText(const std::string& StartAdress,
                                               const std::string& EndAdress,
                                               const std::string& params) {
  return "@" + StartAdress + "|" + EndAdress + "@" + kRouteOptions + params;
}

std::string TWyGeoLocalise::RouteFromText(const std::vector<double>& points,
                                          const std::string& params) {
  const std::string fromTo = RouteFromToText(points);
  return fromTo.empty() ? fromTo : fromTo + kRouteOptions + params;
}

std::unique_ptr<TWyRoutePath> TWyGeoLocalise::RoutePath(const std::string& text) {
  if (text.empty() || !FMapQuest->Directions(OneLine(text))) return nullptr;
  auto path = std::make_unique<TWyRoutePath>();
  if (!FillRoutePathFromLines(FMapQuest->DirectionsResults(), *path)) return nullptr;
  return path;
}

void TWyGeoLocalise::AsyncRoutePath(const std::string& text, TOnRoutePath done,
                                    std::shared_ptr<bool> wanted) {
  if (text.empty()) return;
  const std::string line = OneLine(text);
  FRoutes.push_back(
      {text, FMapQuest->BuildRequest(mkDirections, line).Text, std::move(done), std::move(wanted)});
  StartNextRoute();
}

void TWyGeoLocalise::StartNextRoute() {
  if (FRouteRunning) return;
  while (!FRoutes.empty() && FRoutes.front().Wanted && !*FRoutes.front().Wanted)
    FRoutes.pop_front();
  if (FRoutes.empty()) return;
  FRouteRunning = true;
  FMapQuest->AsyncDirections(OneLine(FRoutes.front().Params));
}

void TWyGeoLocalise::RelayDirections() {
  // Directions the application queued on the client itself are not ours.
  if (!FRouteRunning || FRoutes.empty() ||
      FMapQuest->Answer(mkDirections).Request != FRoutes.front().Request)
    return;
  const TPendingRoute done = std::move(FRoutes.front());
  FRoutes.pop_front();
  FRouteRunning = false;
  TWyRoutePath path;
  FillRoutePathFromLines(FMapQuest->DirectionsResults(), path);
  const std::shared_ptr<bool> alive = FAlive;
  const TOnRoutePath handler = done.Wanted && !*done.Wanted ? nullptr
                               : done.Done                  ? done.Done
                                                            : OnRoutePath;
  if (handler) handler(this, done.Params, path);
  if (!*alive) return;
  StartNextRoute();
}

void TWyGeoLocalise::PlaceSearch(double Lat, double Lng, const std::string& Tags) {
  if (FPlaces->Searching()) return;
  FPlaces->SetLatitude(Lat);
  FPlaces->SetLongitude(Lng);
  FPlaces->Search(Tags);
}

uint32_t TWyGeoLocalise::AbortPlaceSearchIfMaxTime(uint32_t MaxTimeInSecond) {
  if (!FPlaces->Searching()) return 0;
  const uint32_t elapsed = TickElapsed(TickCount(), FPlaces->TimingSearch()) / 1000;
  // Abort fires OnSearch, whose handler may destroy the component: only the
  // local result is used after it.
  if (MaxTimeInSecond < elapsed) FPlaces->Abort();
  return elapsed;
}

void TWyGeoLocalise::AbortPlaceSearch() {
  if (FPlaces->Searching()) FPlaces->Abort();
}

std::string TWyGeoLocalise::TrafficAreaParams(double dLatSW, double dLngSW, double dLatNE,
                                              double dLngNE) {
  return FloatToStrFixedDot(5, dLatSW) + "," + FloatToStrFixedDot(5, dLngSW) + "," +
         FloatToStrFixedDot(5, dLatNE) + "," + FloatToStrFixedDot(5, dLngNE) +
         "?o=xml&key=" + GetServiceKey(skBing);
}

void TWyGeoLocalise::TrafficArea(double dLatSW, double dLngSW, double dLatNE, double dLngNE) {
  FBing->AsyncTraffic(TrafficAreaParams(dLatSW, dLngSW, dLatNE, dLngNE));
}

void TWyGeoLocalise::SetLocalCache(const std::string& folder) {
  FLocalCache = folder;
  FMapQuest->SetLocalCache(folder);
  FPlaces->SetLocalCache(folder);
}

}  // namespace wy
