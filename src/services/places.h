#pragma once
// Places search: points of interest (shops, restaurants, any OpenStreetMap
// node matching a tag filter) inside a box around a position, through the
// XAPI query interface of an Overpass server.
//
// TWyPlaces runs one search at a time on a worker thread it owns. The worker
// gets copies of everything it needs, fills its own result list and hands the
// outcome to the window thread, where the status, the server in use and the
// results are applied and OnPlacesSearch fires. Answers that hold a node are
// cached on disk under <LocalCache>/PLACES/<CrcText(request)>, each file with
// its request text (services/answer_cache.h): a file of another request is
// a miss.
//
// Create, use and destroy a TWyPlaces on the window thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wy {

// Largest answer a places search accepts, in bytes (3 MiB).
constexpr uint32_t kPlacesMaxAnswerBytes = 3145728;

// One node of an answer: its attributes and tags as "name=value" lines
// ("id=101", "lat=48.8560", "types=restaurant", "name=A & B"), character
// references decoded, plus its position.
class TWyPlaceResult {
 public:
  TWyPlaceResult() = default;

  // Copies the lines, the details and the position of value.
  void Assign(const TWyPlaceResult& value);
  // Number of lines.
  int CountResult() const { return static_cast<int>(FData.size()); }
  // The lines, each followed by CR LF.
  std::string RawResult() const;
  // -1 when the node had no readable lat / lon.
  double Latitude() const { return FLatitude; }
  double Longitude() const { return FLongitude; }
  // The name part (before the first "=") of line `index`; "" outside the list.
  std::string Names(int index) const;
  // The value of the first line named `name` (the name compared ignoring the
  // case of A to Z), with the escapes "#59#", "#61#", "#13#" and "#10#" turned
  // back into ";", "=", CR and LF; "" when there is no such line.
  std::string Values(const std::string& name) const;
  // The lines (read-only).
  const std::vector<std::string>& Data() const { return FData; }
  // Replaces the lines and reads the position from "lat" and "lon".
  void SetData(std::vector<std::string> lines);

 private:
  std::vector<std::string> FData;
  std::vector<std::string> FDetail;  // never filled; kept for Assign
  double FLatitude = -1;
  double FLongitude = -1;
};

// The places of one answer, in the order of the answer. Owns its items.
class TWyPlaceResults {
 public:
  int count() const { return static_cast<int>(FList.size()); }
  // The place, or nullptr outside 0 .. count - 1.
  TWyPlaceResult* Items(int index) const;
  void Add(std::unique_ptr<TWyPlaceResult> item);
  // Removes and frees one place; an index outside the list is ignored.
  void Delete(int index);
  void Clear() { FList.clear(); }
  void Swap(TWyPlaceResults& other) { FList.swap(other.FList); }

 private:
  std::vector<std::unique_ptr<TWyPlaceResult>> FList;
};

// Reads an XAPI answer (OpenStreetMap XML) into places: at most maxResult
// nodes, in the order of the answer. `stop`, when given, is checked before
// each node; once true the scan ends. Exposed for tests and benchmarks.
void ScanPlacesAnswer(const std::string& answer, int maxResult, TWyPlaceResults& results,
                      const std::atomic<bool>* stop = nullptr);

// The request text of a search: server prefix + tags + "[bbox=W,S,E,N]".
std::string PlacesRequest(const std::string& server, const std::string& tags, double latSW,
                          double lngSW, double latNE, double lngNE);

class TWyPlaces {
 public:
  // Status texts.
  static constexpr const char* kStatusOk = "OK";
  static constexpr const char* kStatusError = "ERROR";
  static constexpr const char* kStatusTooLong = "ERROR takes too long";

  // MaxResult 100, Radius 500, XapiServer the "endpoint.xapi" setting.
  TWyPlaces();
  // Stops a running worker (its transfer is cut) and waits for it; no event
  // fires and nothing is written once this returns.
  ~TWyPlaces();
  TWyPlaces(const TWyPlaces&) = delete;
  TWyPlaces& operator=(const TWyPlaces&) = delete;

  // Starts a search for the tag filter, e.g. "node[shop=*]". Ignored when
  // tags is empty or a search is running. With a positive Radius the box is
  // the one around (Latitude, Longitude) and LatSW .. LngNE hold it at once;
  // otherwise the box fields are used as they are. The results are emptied.
  void Search(const std::string& tags);
  // Free-text search: not offered by the XAPI interface; does nothing.
  void TextSearch(const std::string& textQuery);
  // While a search runs: stops it (its transfer is cut at once), sets Status
  // to "ERROR takes too long", empties the results and fires OnPlacesSearch.
  // When the stopped worker ends, OnPlacesSearch fires once more with the
  // status and results as Abort left them. Does nothing when no search runs.
  void Abort();

  double Latitude() const { return FLatitude; }
  double Longitude() const { return FLongitude; }
  // Setting the centre empties Adress.
  void SetLatitude(double value);
  void SetLongitude(double value);
  double LatSW() const { return FLatSW; }
  double LngSW() const { return FLngSW; }
  double LatNE() const { return FLatNE; }
  double LngNE() const { return FLngNE; }
  void SetLatSW(double value) { FLatSW = value; }
  void SetLngSW(double value) { FLngSW = value; }
  void SetLatNE(double value) { FLatNE = value; }
  void SetLngNE(double value) { FLngNE = value; }
  // Metres; 0 or less: the box fields are used as they are.
  int Radius() const { return FRadius; }
  void SetRadius(int value) { FRadius = value; }
  int MaxResult() const { return FMaxResult; }
  void SetMaxResult(int value) { FMaxResult = value; }
  const std::string& Adress() const { return FAdress; }
  void SetAdress(const std::string& value) { FAdress = value; }
  // The server prefix in use. A search whose first server fails switches to
  // the other one (the "endpoint.xapi" and "endpoint.xapi-fallback"
  // settings), and the switch stays for later searches.
  const std::string& XapiServer() const { return FXapiServer; }
  void SetXapiServer(const std::string& value) { FXapiServer = value; }
  // Root folder of the answer cache; empty: no cache.
  const std::string& LocalCache() const { return FLocalCache; }
  void SetLocalCache(const std::string& value) { FLocalCache = value; }
  // "OK", "ERROR", "ERROR takes too long"; "" before the first search ends.
  const std::string& Status() const { return FStatus; }
  // Why the last search failed: the reason of each server tried, with its
  // request ("HTTP status 503 (http://...)"), separated by "; ". Empty
  // after a search that succeeded.
  const std::string& Error() const { return FError; }
  int ItemDetail() const { return 0; }
  bool Searching() const { return FSearching; }
  // TickCount() when the current search started.
  uint32_t TimingSearch() const { return FTimingSearch; }
  // Numbers the searches: 1 for the first one started, then 2, ... (0 before
  // any). OnPlacesSearch fires with the number of the search it reports on,
  // which tells a stopped search's late report from a new one.
  uint64_t SearchGeneration() const { return FGeneration; }
  const TWyPlaceResults& Results() const { return FResults; }
  TWyPlaceResults& Results() { return FResults; }

  // Fires on the window thread when a search ends, fails or is aborted.
  std::function<void(TWyPlaces& sender)> OnPlacesSearch;

 private:
  struct TJob;
  struct TOutcome;

  static void RunJob(TJob* job);
  void Completed(uint64_t generation, const std::shared_ptr<TOutcome>& outcome);
  void ReapJob(uint64_t generation);
  void Fire();

  std::string FLocalCache;
  TWyPlaceResults FResults;
  std::string FXapiServer;
  std::string FStatus;
  std::string FError;
  std::string FAdress;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
  double FLatitude = 0, FLongitude = 0;
  int FMaxResult = 100;
  int FRadius = 500;
  uint32_t FTimingSearch = 0;
  bool FSearching = false;

  // Generation of the current (latest) search; completions of older ones
  // are not applied.
  uint64_t FGeneration = 0;
  // The current search and any stopped one still finishing. Each hands its
  // outcome over through its own worker: once the job is gone, an outcome
  // still queued is dropped.
  std::vector<std::unique_ptr<TJob>> FJobs;
};

}  // namespace wy
