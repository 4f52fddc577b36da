#include "services/mapquest_services.h"

#include <filesystem>
#include <utility>

#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "geo/web_fetch.h"
#include "services/answer_cache.h"
#include "services/directions_answer.h"
#include "services/open_elevation.h"
#include "services/osrm_route.h"
#include "services/rate_limit.h"

namespace wy {

namespace {

// Reads an answer into the answer's result fields.
using TParseAnswer = void (*)(TServiceAnswer& answer);

void ParseSearch(TServiceAnswer& answer) {
  ParseSearchAnswer(answer.Answered ? answer.Body : std::string(), answer.Lines);
}
void ParseReverse(TServiceAnswer& answer) {
  ParseReverseAnswer(answer.Answered ? &answer.Body : nullptr, answer.Reverse);
}
void ParseStaticMap(TServiceAnswer& answer) {
  answer.Stream.Clear();
  if (answer.Answered) answer.Stream.WriteString(answer.Body);
  answer.Stream.SetPosition(0);
}
void ParseAltitude(TServiceAnswer& answer) {
  answer.Lines.Clear();
  if (!answer.Answered) return;
  const bool read = answer.Backend == sbOpenElevation
                        ? ParseOpenElevationAnswer(answer.Body, answer.Lines)
                        : ParseElevationAnswer(answer.Body, answer.Lines);
  if (!read) answer.Error = "unreadable heights";
}
void ParseDirections(TServiceAnswer& answer) {
  answer.Lines.Clear();
  if (!answer.Answered) return;
  if (answer.Backend == sbOsrm) {
    ParseOsrmAnswer(answer.Body, answer.Lines, answer.Error);
    return;
  }
  ParseDirectionsAnswer(ReplaceAll(answer.Body, "\\/", "/"),
                        answer.Request.find("outFormat=json") != std::string::npos, answer.Lines);
}
void ParseGuidance(TServiceAnswer& answer) {
  answer.Lines.Clear();
  if (answer.Answered) answer.Lines.SetText(answer.Body);
}

// One kind of request.
struct TKindInfo {
  const char* Endpoint;  // settings endpoint whose base the path follows
  const char* Path;      // fixed path and query in front of the request text
  const char* Suffix;    // fixed query after the request text
  bool Cached;           // answers kept in the disk cache
  bool Normalized;       // the address part is normalised (search)
  TParseAnswer Parse;
  // Text an answer of this kind always holds; a body without it (an error
  // page served with status 200, say) is never cached. Null: any body.
  const char* Marker;
};

const TKindInfo kKinds[kMapQuestKindCount] = {
    {"nominatim", "/search?format=xml&q=", "&addressdetails=1", true, true, ParseSearch,
     "<searchresults"},
    {"nominatim", "/reverse?format=xml&", "", true, false, ParseReverse, "<reversegeocode"},
    {"mapquest-open", "/elevation/v1/profile?&shapeFormat=raw&latLngCollection=", "", true, false,
     ParseAltitude, nullptr},
    {"mapquest-open", "/staticmap/v4/getmap?", "", false, false, ParseStaticMap, nullptr},
    {"mapquest-open", "/directions/v1/route?", "", true, false, ParseDirections, nullptr},
    {"mapquest-open", "/guidance/v1/route?", "", false, false, ParseGuidance, nullptr},
};

constexpr int64_t kDefaultMaxAnswerBytes = 16 * 1024 * 1024;

std::string BaseOf(const char* endpoint) {
  std::string base = GetEndpoint(endpoint);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

// The text the cache file of a request is named after and keeps: answers of
// different servers never stand in for each other.
std::string CacheKey(const TServiceRequest& request) {
  switch (request.Backend) {
    case sbOsrm:
      return "osrm|" + request.Text;
    case sbOpenElevation:
      return "open-elevation|" + request.Text;
    default:
      return request.Text;
  }
}

// Text every answer worth keeping holds, per server (null: any).
const char* CacheMarker(const TServiceRequest& request) {
  switch (request.Backend) {
    case sbOsrm:
      return "\"code\":\"Ok\"";
    case sbOpenElevation:
      return "\"results\"";
    default:
      return kKinds[request.Kind].Marker;
  }
}

// The addresses of an address-form route ("@A|B@rest", the bar possibly
// written %7C) geocoded one after the other into "from=lat,lon&to=lat,lon&"
// + rest, the coordinates as the search answer wrote them. Each search has
// its own result list: the client's current search results stay as they are.
bool ResolveAddresses(const std::string& text, std::string& resolved, std::string& error,
                      const std::atomic<bool>* abort) {
  const size_t close = text.find('@', 1);
  if (close == std::string::npos) {
    error = "no closing @ after the addresses";
    return false;
  }
  std::string list = text.substr(1, close - 1);
  list = ReplaceAll(ReplaceAll(list, "%7C", "|"), "%7c", "|");
  std::vector<std::string> addresses;
  size_t start = 0;
  while (true) {
    const size_t bar = list.find('|', start);
    addresses.push_back(list.substr(start, bar == std::string::npos ? bar : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  resolved.clear();
  for (size_t i = 0; i < addresses.size(); ++i) {
    TServiceRequest search;
    search.Kind = mkSearch;
    search.Text = EncodeQueryText(NormalizeSearchText(addresses[i]));
    TServiceAnswer found;
    TOpenMapQuestServices::RunRequest(search, found, abort);
    if (found.Lines.Count() == 0 || !found.Lines.Objects(0)) {
      error = found.Error.empty() ? "address not found: " + DecodeQueryValue(addresses[i])
                                  : found.Error;
      return false;
    }
    TNominatimResult place;
    place.SetDataList(found.Lines.Objects(0).get());
    resolved += (i == 0 ? "from=" : "to=") + place.Value("lat") + "," + place.Value("lon") + "&";
  }
  resolved += text.substr(close + 1);
  return true;
}

}  // namespace

TServiceBackend TOpenMapQuestServices::BackendOf(TMapQuestKind kind) {
  if (kind == mkSearch || kind == mkReverse)
    return BaseOf("nominatim").empty() ? sbNone : sbOpenServices;
  if (!BaseOf("mapquest-open").empty()) return sbOpenServices;
  if (kind == mkDirections && !BaseOf("osrm").empty()) return sbOsrm;
  if (kind == mkAltitude && !BaseOf("open-elevation").empty()) return sbOpenElevation;
  return sbNone;
}

TOpenMapQuestServices::TOpenMapQuestServices() {
  for (int i = 0; i < kMapQuestKindCount; ++i)
    FKinds[i].Current.Kind = static_cast<TMapQuestKind>(i);
  FReverseResult.SetDataList(&FKinds[mkReverse].Current.Reverse);
}

TOpenMapQuestServices::~TOpenMapQuestServices() {
  FAborting = true;
  for (TKindState& state : FKinds) state.Worker.Cancel();
  for (TKindState& state : FKinds) state.Worker.Stop();
}

void TOpenMapQuestServices::SetThreadStarter(const TThreadStarter& starter) {
  for (TKindState& state : FKinds) state.Worker.SetStarter(starter);
}

std::string TOpenMapQuestServices::Key() const {
  return FKey.empty() ? GetServiceKey(skMapQuest) : FKey;
}

TNominatimResult& TOpenMapQuestServices::SearchResult(int index) {
  const TServiceResultList& list = SearchResults();
  if (index >= 0 && index < list.Count() && list.Objects(index))
    FSearchResult.SetDataList(list.Objects(index).get());
  return FSearchResult;
}

TNominatimResult& TOpenMapQuestServices::ReverseResult() {
  FReverseResult.SetDataList(&FKinds[mkReverse].Current.Reverse);
  return FReverseResult;
}

size_t TOpenMapQuestServices::QueuedCount(TMapQuestKind kind) const {
  return FKinds[kind].Worker.QueuedCount();
}

TServiceRequest TOpenMapQuestServices::BuildRequest(TMapQuestKind kind,
                                                    const std::string& params) const {
  const TKindInfo& info = kKinds[kind];
  TServiceRequest request;
  request.Kind = kind;
  request.Backend = BackendOf(kind);
  request.Text = params;
  const std::string key = Key();
  // The cache name follows the text as built here; with no key the search
  // text is normalised only on its way out (RequestUrl).
  if (info.Normalized && !key.empty()) request.Text = NormalizeSearchText(request.Text);
  if (!key.empty()) request.Text += "&key=" + key;
  request.Text = EncodeQueryText(request.Text);
  if (info.Cached && !FLocalCache.empty()) {
    std::filesystem::path path(FLocalCache);
    path /= "OPEN_MAPQUEST_SERVICES";
    path /= CrcText(CacheKey(request));
    request.CachePath = path.string();
  }
  return request;
}

std::string TOpenMapQuestServices::RequestUrl(const TServiceRequest& request) {
  const TKindInfo& info = kKinds[request.Kind];
  switch (request.Backend) {
    case sbNone:
      return std::string();
    case sbOsrm: {
      const std::string path = OsrmRoutePath(request.Text);
      return path.empty() ? path : BaseOf("osrm") + path;
    }
    case sbOpenElevation: {
      const std::string path = OpenElevationPath(request.Text);
      return path.empty() ? path : BaseOf("open-elevation") + path;
    }
    case sbOpenServices:
      break;
  }
  const std::string text = info.Normalized ? NormalizeSearchText(request.Text) : request.Text;
  return BaseOf(info.Endpoint) + info.Path + text + info.Suffix;
}

void TOpenMapQuestServices::RunRequest(const TServiceRequest& request, TServiceAnswer& answer,
                                       const std::atomic<bool>* abort) {
  answer.Kind = request.Kind;
  answer.Backend = request.Backend;
  answer.Request = request.Text;
  answer.Answered = false;
  answer.FromCache = false;
  answer.Error.clear();
  answer.Body.clear();
  const TParseAnswer parse = kKinds[request.Kind].Parse;
  if (request.Backend == sbNone) {
    answer.Error = std::string("no server set for this service (endpoint.") +
                   kKinds[request.Kind].Endpoint + ")";
    parse(answer);
    return;
  }
  // An address-form route is geocoded first, also when its answer is in
  // the cache (the cache is named after the addresses).
  TServiceRequest sent = request;
  if (request.Kind == mkDirections && !request.Text.empty() && request.Text[0] == '@' &&
      !ResolveAddresses(request.Text, sent.Text, answer.Error, abort)) {
    parse(answer);
    return;
  }
  const std::string cacheKey = CacheKey(request);
  if (!request.CachePath.empty() && ReadCachedAnswer(request.CachePath, cacheKey, answer.Body)) {
    answer.Answered = true;
    answer.FromCache = true;
  } else {
    const std::string url = RequestUrl(sent);
    auto aborted = [abort] { return abort != nullptr && abort->load(); };
    if (url.empty()) {
      answer.Error = "nothing to ask for in the request";
    } else if (!WaitForEndpointSlot(url, aborted)) {
      answer.Error = "aborted";
    } else {
      TDownloadOptions options;
      const int64_t cap = GetSettingInt("services.max-bytes", kDefaultMaxAnswerBytes);
      options.MaxSize =
          static_cast<uint32_t>(cap > 0 && cap < 0xFFFFFFFFll ? cap : kDefaultMaxAnswerBytes);
      options.Abort = aborted;
      TMemoryStream stream;
      TDownloadResult result;
      if (DownloadToStream(url, &stream, options, &result)) {
        answer.Body = stream.DataString();
        answer.Answered = true;
        const char* marker = CacheMarker(request);
        const bool looksRight = marker == nullptr || answer.Body.find(marker) != std::string::npos;
        if (!request.CachePath.empty() && looksRight)
          WriteCachedAnswer(request.CachePath, cacheKey, answer.Body);
      } else {
        answer.Error = result.Error.empty() ? std::string("download failed") : result.Error;
      }
    }
  }
  parse(answer);
}

TOpenMapQuestServices::TNotifyEvent& TOpenMapQuestServices::EventOf(TMapQuestKind kind) {
  switch (kind) {
    case mkSearch:
      return OnSearch;
    case mkReverse:
      return OnReverse;
    case mkAltitude:
      return OnAltitude;
    case mkStaticMap:
      return OnStaticMap;
    case mkDirections:
      return OnDirections;
    case mkGuidance:
      break;
  }
  return OnGuidance;
}

void TOpenMapQuestServices::Async(TMapQuestKind kind, const std::string& params) {
  if (kind >= kMapQuestKindCount) return;
  FKinds[kind].Worker.Push(string_list_detail::SplitLines(params));
  QueueStep(kind);
}

void TOpenMapQuestServices::QueueStep(TMapQuestKind kind) {
  TKindState& state = FKinds[kind];
  std::string params;
  if (FAborting || !state.Worker.TakeNext(params)) return;
  const TServiceRequest request = BuildRequest(kind, params);
  FParams = request.CachePath.empty() ? request.Text : "{" + request.CachePath + "}" + request.Text;
  TOwnedWorker* worker = &state.Worker;
  auto work = [this, request, kind, worker] {
    auto answer = std::make_unique<TServiceAnswer>();
    RunRequest(request, *answer, &worker->StopFlag());
    // The last act of the worker: hand the answer to the window thread.
    auto shared = std::make_shared<std::unique_ptr<TServiceAnswer>>(std::move(answer));
    worker->Post([this, kind, shared] { Complete(kind, std::move(*shared)); });
  };
  std::string error;
  if (!state.Worker.Start(std::move(work), "service request", &error)) {
    // The request ends at once, failed: its event fires and the next one
    // is tried, so the kind is never left busy.
    auto answer =
        std::make_shared<std::unique_ptr<TServiceAnswer>>(std::make_unique<TServiceAnswer>());
    (*answer)->Kind = kind;
    (*answer)->Backend = BackendOf(kind);
    (*answer)->Request = request.Text;
    (*answer)->Error = error;
    kKinds[kind].Parse(**answer);
    worker->Post([this, kind, answer] { Complete(kind, std::move(*answer)); });
  }
}

void TOpenMapQuestServices::SetCurrent(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer) {
  if (kind == mkSearch) FSearchResult.SetDataList(nullptr);  // its list goes away
  FKinds[kind].Current = std::move(*answer);
}

void TOpenMapQuestServices::Complete(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer) {
  TKindState& state = FKinds[kind];
  state.Worker.Join();
  if (answer) SetCurrent(kind, std::move(answer));
  const TNotifyEvent& event = EventOf(kind);
  if (event) {
    const TAliveToken alive = state.Worker.Alive();
    const TNotifyEvent handler = event;  // the handler may replace itself
    handler(this);
    if (!alive) return;
  }
  QueueStep(kind);
}

const TServiceAnswer& TOpenMapQuestServices::RunNow(TMapQuestKind kind, const std::string& params) {
  const TServiceRequest request = BuildRequest(kind, params);
  FParams = request.CachePath.empty() ? request.Text : "{" + request.CachePath + "}" + request.Text;
  auto answer = std::make_unique<TServiceAnswer>();
  RunRequest(request, *answer, &FAborting);
  SetCurrent(kind, std::move(answer));
  return Current(kind);
}

bool TOpenMapQuestServices::Search(const std::string& params) {
  return RunNow(mkSearch, params).Lines.Count() > 0;
}
bool TOpenMapQuestServices::Reverse(const std::string& params) {
  return RunNow(mkReverse, params).Reverse.Count() > 0;
}
int TOpenMapQuestServices::Altitude(const std::string& params) {
  return RunNow(mkAltitude, params).Lines.Count();
}
bool TOpenMapQuestServices::StaticMap(const std::string& params) {
  return RunNow(mkStaticMap, params).Answered;
}
bool TOpenMapQuestServices::Directions(const std::string& params) {
  return RunNow(mkDirections, params).Lines.Count() > 0;
}
bool TOpenMapQuestServices::Guidance(const std::string& params) {
  return RunNow(mkGuidance, params).Lines.Count() > 0;
}

}  // namespace wy

namespace wy {

double TOpenMapQuestServices::DistanceRoute(const std::string& params) {
  if (!Directions(params)) return -1;
  const TServiceResultList& lines = DirectionsResults();
  // An answer without manoeuvres still has its summary: the length is read
  // from it, and a summary without a length gives -1 rather than 0.
  if (lines.Count() < 2) return -1;
  const std::string& summary = lines.Strings(lines.Count() - 2);
  const size_t comma = summary.find(',');
  if (comma == std::string::npos) return -1;
  const int metres = TextToIntDef(summary.substr(0, comma), -1);
  return metres < 0 ? -1 : metres / 1000.0;
}

double TOpenMapQuestServices::DistanceRouteByAdress(const std::string& StartAdress,
                                                    const std::string& EndAdress,
                                                    const std::string& params) {
  return DistanceRoute("@" + StartAdress + "|" + EndAdress + "@" +
                       "&outFormat=json&timeType=1&narrativeType=none&shapeFormat=raw&"
                       "generalize=40000&unit=k&" +
                       params);
}

double TOpenMapQuestServices::DistanceRouteFrom(const std::vector<double>& points,
                                                const std::string& params) {
  const std::string fromTo = RouteFromToText(points);
  if (fromTo.empty()) return -1;
  return DistanceRoute(fromTo +
                       "outFormat=json&timeType=1&narrativeType=none&shapeFormat=raw&"
                       "generalize=40000&unit=k&" +
                       params);
}

bool TOpenMapQuestServices::AlignLatLngToRoute(double& dLatitude, double& dLongitude) {
  const std::string point = TwoFloatsToText(dLatitude, dLongitude);
  if (!Directions("&outFormat=json&timeType=1&enhancedNarrative=true&shapeFormat=raw&"
                  "generalize=0&unit=k&from=" +
                  point + "&to=" + point))
    return false;
  // Only a shape line holds coordinates: a list of summary and raw line
  // alone (an error answer) leaves the point where it is.
  const TServiceResultList& lines = DirectionsResults();
  if (lines.Count() < 3) return false;
  const std::string& first = lines.Strings(0);
  const size_t comma = first.find(',');
  if (comma == std::string::npos) return false;
  size_t end = first.find(',', comma + 1);
  if (end == std::string::npos) end = first.size();
  double lat = 0, lng = 0;
  if (!TryStrToFloatDot(first.substr(0, comma), lat) ||
      !TryStrToFloatDot(first.substr(comma + 1, end - comma - 1), lng))
    return false;
  dLatitude = lat;
  dLongitude = lng;
  return true;
}

}  // namespace wy
