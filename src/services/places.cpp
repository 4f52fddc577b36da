#include "services/places.h"

#include <utility>

#include "formats/xml_entities.h"
#include "geo/geodesy.h"
#include "geo/settings.h"
#include "geo/stream.h"
#include "geo/string_list.h"
#include "geo/text_convert.h"
#include "geo/web_fetch.h"
#include "platform/owned_worker.h"
#include "platform/tick.h"
#include "services/answer_cache.h"

namespace wy {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Every exact occurrence of `from` replaced by `to` (letter case counts).
void ReplaceExact(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, start)) {
    out.append(text, start, hit - start);
    out += to;
    start = hit + from.size();
  }
  out.append(text, start, std::string::npos);
  text.swap(out);
}

// The attributes of a node's start tag as lines: id="1" lat="48.8" becomes
// "id=1", "lat=48.8". A double quote followed by a blank ends an attribute;
// the other double quotes go.
std::string AttributeLines(const std::string& attrs) {
  std::string out;
  out.reserve(attrs.size());
  for (size_t i = 0; i < attrs.size(); ++i) {
    if (attrs[i] != '"') {
      out += attrs[i];
    } else if (i + 1 < attrs.size() && IsBlank(attrs[i + 1])) {
      out += '\n';
      ++i;
    }
  }
  return out;
}

// The tags of a node's body as lines: <tag k="name" v="A &amp; B"/> becomes
// "name=A &amp; B". Each tag starts a line of its own, so tags written on
// one line read the same as tags written one a line.
std::string TagLines(std::string body) {
  ReplaceExact(body, "<tag k=\"", "\n");
  ReplaceExact(body, "\" v=\"", "=");
  ReplaceExact(body, "\"/>", "");
  return body;
}

}  // namespace

// ---------------------------------------------------------------------------
// TWyPlaceResult

void TWyPlaceResult::Assign(const TWyPlaceResult& value) {
  FData = value.FData;
  FDetail = value.FDetail;
  FLatitude = value.FLatitude;
  FLongitude = value.FLongitude;
}

std::string TWyPlaceResult::RawResult() const {
  std::string text;
  for (const auto& line : FData) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string TWyPlaceResult::Names(int index) const {
  if (index < 0 || index >= CountResult()) return std::string();
  const std::string& line = FData[static_cast<size_t>(index)];
  return line.substr(0, line.find('='));
}

std::string TWyPlaceResult::Values(const std::string& name) const {
  for (const auto& line : FData) {
    const size_t equal = line.find('=');
    const std::string_view lineName =
        std::string_view(line).substr(0, equal == std::string::npos ? line.size() : equal);
    if (!SameTextAZ(lineName, name)) continue;
    if (equal == std::string::npos) return std::string();
    return UnescapeChars(";=\r\n", line.substr(equal + 1));
  }
  return std::string();
}

void TWyPlaceResult::SetData(std::vector<std::string> lines) {
  FData = std::move(lines);
  FLatitude = StrToFloatDot(Values("lat"));
  FLongitude = StrToFloatDot(Values("lon"));
}

// ---------------------------------------------------------------------------
// TWyPlaceResults

TWyPlaceResult* TWyPlaceResults::Items(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return FList[static_cast<size_t>(index)].get();
}

void TWyPlaceResults::Add(std::unique_ptr<TWyPlaceResult> item) {
  if (item) FList.push_back(std::move(item));
}

void TWyPlaceResults::Delete(int index) {
  if (index < 0 || index >= count()) return;
  FList.erase(FList.begin() + index);
}

// ---------------------------------------------------------------------------
// Scanning an answer

void ScanPlacesAnswer(const std::string& answer, int maxResult, TWyPlaceResults& results,
                      const std::atomic<bool>* stop) {
  static const std::string kNodeStart = "<node ";
  static const std::string kNodeEnd = "</node>";
  int taken = 0;
  size_t pos = answer.find(kNodeStart);
  while (pos != std::string::npos && taken < maxResult) {
    if (stop != nullptr && stop->load()) return;
    const size_t attrStart = pos + kNodeStart.size();
    const size_t close = answer.find('>', attrStart);
    if (close == std::string::npos) return;
    std::string attrs = answer.substr(attrStart, close - attrStart);
    // A self-closing node has no tags: its body must not run into the next
    // node's.
    const bool selfClosing = !attrs.empty() && attrs.back() == '/';
    if (selfClosing) attrs.pop_back();
    std::string record = AttributeLines(Trim(attrs));
    size_t next = close + 1;
    if (!selfClosing) {
      const size_t end = answer.find(kNodeEnd, close + 1);
      if (end == std::string::npos) return;
      record += '\n';
      record += TagLines(answer.substr(close + 1, end - close - 1));
      next = end + kNodeEnd.size();
    }
    record = ReplaceAll(record, "amenity=", "types=");
    std::vector<std::string> lines;
    for (const auto& line : string_list_detail::SplitLines(record)) {
      std::string decoded = Trim(XmlDecodeEntities(line));
      if (!decoded.empty()) lines.push_back(std::move(decoded));
    }
    auto place = std::make_unique<TWyPlaceResult>();
    place->SetData(std::move(lines));
    results.Add(std::move(place));
    ++taken;
    pos = answer.find(kNodeStart, next);
  }
}

std::string PlacesRequest(const std::string& server, const std::string& tags, double latSW,
                          double lngSW, double latNE, double lngNE) {
  return server + tags + "[bbox=" + FloatToStrDot(lngSW) + "," + FloatToStrDot(latSW) + "," +
         FloatToStrDot(lngNE) + "," + FloatToStrDot(latNE) + "]";
}

// ---------------------------------------------------------------------------
// TWyPlaces

// What a worker works with: copies taken on the window thread when the
// search starts. Only the worker's stop flag is shared while it runs.
struct TWyPlaces::TJob {
  TWyPlaces* Owner = nullptr;  // used only in the hand-off, on the window thread
  uint64_t Generation = 0;
  std::string Tags;
  int MaxResult = 0;
  std::string Server;
  std::string PrimaryServer;
  std::string FallbackServer;
  double LatSW = 0, LngSW = 0, LatNE = 0, LngNE = 0;
  std::string LocalCache;
  TOwnedWorker Worker;
};

// What a worker hands back.
struct TWyPlaces::TOutcome {
  bool Ok = false;
  bool Switched = false;  // Server is the other server now
  std::string Server;
  std::string Error;  // why each server tried gave nothing
  TWyPlaceResults Results;
};

TWyPlaces::TWyPlaces() : FXapiServer(GetEndpoint("xapi")) {}

TWyPlaces::~TWyPlaces() {
  OnPlacesSearch = nullptr;
  for (auto& job : FJobs) job->Worker.Cancel();
  FJobs.clear();
}

void TWyPlaces::SetLatitude(double value) {
  FAdress.clear();
  FLatitude = value;
}

void TWyPlaces::SetLongitude(double value) {
  FAdress.clear();
  FLongitude = value;
}

void TWyPlaces::TextSearch(const std::string& /*textQuery*/) {}

void TWyPlaces::Search(const std::string& tags) {
  if (tags.empty() || FSearching) return;
  if (FRadius > 0)
    boundingCoordinates(FLatitude, FLongitude, FRadius / 1000.0, FLatSW, FLngSW, FLatNE, FLngNE);

  auto job = std::make_unique<TJob>();
  job->Owner = this;
  job->Generation = ++FGeneration;
  job->Tags = tags;
  job->MaxResult = FMaxResult;
  job->Server = FXapiServer;
  job->PrimaryServer = GetEndpoint("xapi");
  job->FallbackServer = GetEndpoint("xapi-fallback");
  job->LatSW = FLatSW;
  job->LngSW = FLngSW;
  job->LatNE = FLatNE;
  job->LngNE = FLngNE;
  job->LocalCache = FLocalCache;

  FResults.Clear();
  FSearching = true;
  FTimingSearch = TickCount();
  TJob* raw = job.get();
  FJobs.push_back(std::move(job));
  std::string error;
  if (!raw->Worker.Start([raw] { RunJob(raw); }, "places search", &error)) {
    // No thread to run the search: it ends at once as failed.
    FJobs.pop_back();
    FSearching = false;
    FStatus = kStatusError;
    FError = error;
    Fire();
  }
}

void TWyPlaces::RunJob(TJob* job) {
  auto outcome = std::make_shared<TOutcome>();
  outcome->Server = job->Server;
  const auto deliver = [job, outcome] {
    TWyPlaces* owner = job->Owner;
    const uint64_t generation = job->Generation;
    job->Worker.Post([owner, generation, outcome] { owner->Completed(generation, outcome); });
  };
  if (job->Worker.Cancelled()) return deliver();

  std::string request =
      PlacesRequest(job->Server, job->Tags, job->LatSW, job->LngSW, job->LatNE, job->LngNE);
  // The cache name stays the one of the first request, also after a switch.
  const std::string cacheRequest = request;
  std::string cacheFile;
  if (!job->LocalCache.empty()) cacheFile = job->LocalCache + "/PLACES/" + CrcText(request);

  std::string answer;
  const bool fromCache = !cacheFile.empty() &&
                         ReadCachedAnswer(cacheFile, cacheRequest, answer, kPlacesMaxAnswerBytes);
  bool ok = fromCache;
  if (!ok) {
    TDownloadOptions options;
    options.MaxSize = kPlacesMaxAnswerBytes;
    options.Abort = job->Worker.AbortCheck();
    const auto fetch = [&](const std::string& url) {
      TMemoryStream stream;
      TDownloadResult result;
      if (!DownloadToStream(url, &stream, options, &result)) {
        if (!outcome->Error.empty()) outcome->Error += "; ";
        outcome->Error +=
            (result.Error.empty() ? std::string("no answer") : result.Error) + " (" + url + ")";
        return false;
      }
      answer = stream.DataString();
      return true;
    };
    ok = fetch(request);
    if (!ok && !job->Worker.Cancelled()) {
      // Switch to the other server for this and later searches, and try
      // once more with the same tags and box.
      std::string server = job->Server;
      if (server.find(job->PrimaryServer) == std::string::npos)
        server = job->PrimaryServer;
      else if (server.find(job->FallbackServer) == std::string::npos)
        server = job->FallbackServer;
      outcome->Switched = server != job->Server;
      outcome->Server = server;
      request = PlacesRequest(server, job->Tags, job->LatSW, job->LngSW, job->LatNE, job->LngNE);
      ok = fetch(request);
    }
  }
  if (!ok || job->Worker.Cancelled()) return deliver();

  outcome->Ok = true;
  ScanPlacesAnswer(answer, job->MaxResult, outcome->Results, &job->Worker.StopFlag());
  if (!fromCache && !cacheFile.empty() && !job->Worker.Cancelled() &&
      answer.find("<node ") != std::string::npos)
    WriteCachedAnswer(cacheFile, cacheRequest, answer);
  deliver();
}

void TWyPlaces::ReapJob(uint64_t generation) {
  for (auto it = FJobs.begin(); it != FJobs.end(); ++it) {
    if ((*it)->Generation != generation) continue;
    // The worker's last act was handing over its outcome: the join is short.
    (*it)->Worker.Join();
    FJobs.erase(it);
    return;
  }
}

void TWyPlaces::Completed(uint64_t generation, const std::shared_ptr<TOutcome>& outcome) {
  ReapJob(generation);
  // A worker stopped by Abort may finish after a newer search started: it
  // must leave that search alone.
  if (generation != FGeneration) return;
  if (outcome->Switched) FXapiServer = outcome->Server;
  if (!FSearching) {
    // Aborted: Abort already set the status and emptied the results.
    Fire();
    return;
  }
  FSearching = false;
  if (outcome->Ok) {
    FStatus = kStatusOk;
    FError.clear();
    FResults.Swap(outcome->Results);
  } else {
    FStatus = kStatusError;
    FError = outcome->Error.empty() ? std::string("no answer") : outcome->Error;
    FResults.Clear();
  }
  Fire();
}

void TWyPlaces::Abort() {
  if (!FSearching) return;
  for (auto& job : FJobs)
    if (job->Generation == FGeneration) job->Worker.Cancel();
  FSearching = false;
  FStatus = kStatusTooLong;
  FError = "aborted";
  FResults.Clear();
  Fire();
}

void TWyPlaces::Fire() {
  const auto handler = OnPlacesSearch;
  if (handler) handler(*this);
}

}  // namespace wy
