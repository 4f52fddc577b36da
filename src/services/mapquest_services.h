#pragma once
// Client of the open map web services: address search, reverse geocoding,
// elevation profile, static map image, directions and guidance.
//
// Every kind of request can be made synchronously (the call blocks while the
// answer is fetched and read) or asynchronously: the request texts go into a
// first-in first-out queue of their kind; one worker per kind works the queue
// off, one request at a time; when a request is done its results are handed
// to the window thread, made the kind's current results, the kind's event
// fires and the next queued request starts. Up to six workers (one per kind)
// run at the same time.
//
// Addresses. Search and reverse go to the base of the setting
// "endpoint.nominatim" followed by "/search?format=xml&q=" and
// "/reverse?format=xml&": today's Nominatim answers there at its host, and a
// base such as "http://host/nominatim/v1" gives the historic open-services
// form "/nominatim/v1/search?...". The other kinds go to the base of
// "endpoint.mapquest-open" followed by their fixed paths.
//
// Request texts are query text as the services want it ("lat=1&lon=2"); a
// text a person typed goes in as one value, made with EncodeQueryValue
// (geo/query_value.h). The address part of a search (before its first "&")
// is normalised (NormalizeSearchText). "&key=" and the key in effect is
// appended, then the bytes a query may not hold are percent-encoded
// (EncodeQueryText: blanks, controls, non-ASCII, "#", ...; "%XX" already in
// the text is kept). The request text built so is what is sent and what
// names the cache file.
//
// Disk cache. With a non-empty LocalCache, answers of search, reverse,
// elevation and directions are kept in
// LocalCache/OPEN_MAPQUEST_SERVICES/<CrcText of the request text>, written
// only for complete 2xx answers and atomically; a repeated request is read
// from there without network access. The files never expire. Each file
// keeps its request text (services/answer_cache.h): a file of another
// request whose name collides, or one written by an older version without
// the request text, is a miss and is replaced by the next answer.
//
// Threads: create, use and destroy the object on the window thread.
// Destroying it aborts running transfers, joins the workers and drops
// completions not yet delivered.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geo/stream.h"
#include "platform/owned_worker.h"
#include "services/geocoding.h"

namespace wy {

enum TMapQuestKind : uint8_t {
  mkSearch,
  mkReverse,
  mkAltitude,
  mkStaticMap,
  mkDirections,
  mkGuidance,
};
constexpr int kMapQuestKindCount = 6;

// Which server answers a request. The open services' forms are used where
// "endpoint.mapquest-open" is set; otherwise routes go to an OSRM server
// ("endpoint.osrm") and heights to an Open-Elevation server
// ("endpoint.open-elevation"), read into the same result lists. A kind with
// no server fails at once with an error and sends nothing.
enum TServiceBackend : uint8_t {
  sbOpenServices,
  sbOsrm,
  sbOpenElevation,
  sbNone,
};

// One request as a worker receives it. The cache file is carried beside the
// request text, never inside it.
struct TServiceRequest {
  TMapQuestKind Kind = mkSearch;
  std::string Text;       // query text after the fixed path, key appended
  std::string CachePath;  // "" when the answer is not cached
  TServiceBackend Backend = sbOpenServices;
};

// What one request produced.
struct TServiceAnswer {
  TMapQuestKind Kind = mkSearch;
  TServiceBackend Backend = sbOpenServices;
  std::string Request;    // the answered request text
  bool Answered = false;  // an answer was read from the cache or fetched
  bool FromCache = false;
  std::string Error;         // why nothing was fetched; "" otherwise
  std::string Body;          // the answer's bytes
  TServiceResultList Lines;  // search places; other kinds' result lines
  TAttributeList Reverse;    // the reverse result
  TMemoryStream Stream;      // the static map image
};

class TOpenMapQuestServices {
 public:
  using TNotifyEvent = std::function<void(TOpenMapQuestServices* sender)>;

  TOpenMapQuestServices();
  ~TOpenMapQuestServices();
  TOpenMapQuestServices(const TOpenMapQuestServices&) = delete;
  TOpenMapQuestServices& operator=(const TOpenMapQuestServices&) = delete;

  // The request most recently built by any kind, shown as
  // "{cache file}request" when it has a cache file. Informational only.
  const std::string& Params() const { return FParams; }
  // The key of this object, or the process-wide MapQuest key when none is set.
  std::string Key() const;
  void SetKey(const std::string& key) { FKey = key; }
  const std::string& LocalCache() const { return FLocalCache; }
  void SetLocalCache(const std::string& folder) { FLocalCache = folder; }

  // Current results of each kind (replaced by every request of the kind).
  const TServiceResultList& SearchResults() const { return Current(mkSearch).Lines; }
  const TServiceResultList& AltitudeResults() const { return Current(mkAltitude).Lines; }
  const TServiceResultList& DirectionsResults() const { return Current(mkDirections).Lines; }
  const TServiceResultList& GuidanceResults() const { return Current(mkGuidance).Lines; }
  const TAttributeList& ReverseResults() const { return Current(mkReverse).Reverse; }
  TMemoryStream& StreamResult() { return FKinds[mkStaticMap].Current.Stream; }
  int SearchCount() const { return SearchResults().Count(); }
  // Points the search view at place `index` and returns it; an index out of
  // range leaves the view as it was. The view shows nothing once the results
  // it showed were replaced.
  TNominatimResult& SearchResult(int index);
  TNominatimResult& ReverseResult();
  // The whole current answer of a kind: the request it answered, its bytes
  // and whether it came from the cache.
  const TServiceAnswer& Answer(TMapQuestKind kind) const { return Current(kind); }

  // Queues every line of `params` (CR/LF separated) and starts the kind's
  // worker when it is idle.
  void Async(TMapQuestKind kind, const std::string& params);
  void AsyncSearch(const std::string& params) { Async(mkSearch, params); }
  void AsyncReverse(const std::string& params) { Async(mkReverse, params); }
  void AsyncAltitude(const std::string& params) { Async(mkAltitude, params); }
  void AsyncStaticMap(const std::string& params) { Async(mkStaticMap, params); }
  void AsyncDirections(const std::string& params) { Async(mkDirections, params); }
  void AsyncGuidance(const std::string& params) { Async(mkGuidance, params); }

  // Synchronous forms: block the calling thread, then make the answer the
  // kind's current results.
  bool Search(const std::string& params);      // at least one place
  bool Reverse(const std::string& params);     // always true (see count)
  int Altitude(const std::string& params);     // number of heights
  bool StaticMap(const std::string& params);   // image fetched
  bool Directions(const std::string& params);  // result list not empty
  bool Guidance(const std::string& params);    // result list not empty

  // Route lengths in kilometres through the synchronous directions request;
  // -1 when there is no route or no summary. DistanceRouteFrom takes
  // latitude, longitude pairs.
  double DistanceRoute(const std::string& params);
  double DistanceRouteByAdress(const std::string& StartAdress, const std::string& EndAdress,
                               const std::string& params);
  double DistanceRouteFrom(const std::vector<double>& points, const std::string& params);
  // Moves the point to the start of the route from the point to itself,
  // the nearest routable position. False (the point unchanged) when the
  // answer holds no route point.
  bool AlignLatLngToRoute(double& dLatitude, double& dLongitude);

  // A worker of the kind is running / requests waiting in its queue.
  bool Busy(TMapQuestKind kind) const { return FKinds[kind].Worker.Busy(); }
  size_t QueuedCount(TMapQuestKind kind) const;

  // The request a params text gives now (key, normalisation, cache file).
  TServiceRequest BuildRequest(TMapQuestKind kind, const std::string& params) const;
  // The address of a request ("" when its kind has no server).
  static std::string RequestUrl(const TServiceRequest& request);
  // The server that answers a kind with the settings in effect.
  static TServiceBackend BackendOf(TMapQuestKind kind);
  // Answers a request on the calling thread: cache, network, cache write,
  // parse. `abort` (may be null) stops the transfer when it becomes true.
  static void RunRequest(const TServiceRequest& request, TServiceAnswer& answer,
                         const std::atomic<bool>* abort);

  // How the workers' threads are started (tests inject a failing one).
  void SetThreadStarter(const TThreadStarter& starter);

  // Completion events, fired on the window thread; empty = skipped.
  TNotifyEvent OnSearch, OnReverse, OnAltitude, OnStaticMap, OnDirections, OnGuidance;

 private:
  struct TKindState {
    TOwnedWorker Worker;     // its queue holds the kind's waiting requests
    TServiceAnswer Current;  // replaced in place: its lists stay where they are
  };

  const TServiceAnswer& Current(TMapQuestKind kind) const { return FKinds[kind].Current; }
  TNotifyEvent& EventOf(TMapQuestKind kind);
  void QueueStep(TMapQuestKind kind);
  void Complete(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer);
  void SetCurrent(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer);
  const TServiceAnswer& RunNow(TMapQuestKind kind, const std::string& params);

  std::string FParams;
  std::string FKey;
  std::string FLocalCache;
  std::array<TKindState, kMapQuestKindCount> FKinds;
  std::atomic<bool> FAborting{false};
  TNominatimResult FSearchResult;
  TNominatimResult FReverseResult;
};

}  // namespace wy
