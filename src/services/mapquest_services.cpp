#include "services/mapquest_services.h"

#include <filesystem>
#include <utility>

#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "geo/web_fetch.h"
#include "services/answer_cache.h"
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
// Elevation, directions and guidance answers are read by their own modules
// from Answer(kind).Body; until then their result lists stay empty.
void ParseLater(TServiceAnswer&) {}

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
     ParseLater, nullptr},
    {"mapquest-open", "/staticmap/v4/getmap?", "", false, false, ParseStaticMap, nullptr},
    {"mapquest-open", "/directions/v1/route?", "", true, false, ParseLater, nullptr},
    {"mapquest-open", "/guidance/v1/route?", "", false, false, ParseLater, nullptr},
};

constexpr int64_t kDefaultMaxAnswerBytes = 16 * 1024 * 1024;

std::string BaseOf(const char* endpoint) {
  std::string base = GetEndpoint(endpoint);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace

TOpenMapQuestServices::TOpenMapQuestServices() {
  for (int i = 0; i < kMapQuestKindCount; ++i)
    FKinds[i].Current.Kind = static_cast<TMapQuestKind>(i);
  FReverseResult.SetDataList(&FKinds[mkReverse].Current.Reverse);
}

TOpenMapQuestServices::~TOpenMapQuestServices() {
  *FAlive = false;
  FAborting = true;
  for (TKindState& state : FKinds)
    if (state.Thread.joinable()) state.Thread.join();
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
  std::lock_guard<std::mutex> lock(FQueueMutex);
  return FKinds[kind].Queue.size();
}

TServiceRequest TOpenMapQuestServices::BuildRequest(TMapQuestKind kind,
                                                    const std::string& params) const {
  const TKindInfo& info = kKinds[kind];
  TServiceRequest request;
  request.Kind = kind;
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
    path /= CrcText(request.Text);
    request.CachePath = path.string();
  }
  return request;
}

std::string TOpenMapQuestServices::RequestUrl(const TServiceRequest& request) {
  const TKindInfo& info = kKinds[request.Kind];
  const std::string text = info.Normalized ? NormalizeSearchText(request.Text) : request.Text;
  return BaseOf(info.Endpoint) + info.Path + text + info.Suffix;
}

void TOpenMapQuestServices::RunRequest(const TServiceRequest& request, TServiceAnswer& answer,
                                       const std::atomic<bool>* abort) {
  answer.Kind = request.Kind;
  answer.Request = request.Text;
  answer.Answered = false;
  answer.FromCache = false;
  answer.Error.clear();
  answer.Body.clear();
  if (!request.CachePath.empty() &&
      ReadCachedAnswer(request.CachePath, request.Text, answer.Body)) {
    answer.Answered = true;
    answer.FromCache = true;
  } else {
    const std::string url = RequestUrl(request);
    auto aborted = [abort] { return abort != nullptr && abort->load(); };
    if (!WaitForEndpointSlot(url, aborted)) {
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
        const char* marker = kKinds[request.Kind].Marker;
        const bool looksRight = marker == nullptr || answer.Body.find(marker) != std::string::npos;
        if (!request.CachePath.empty() && looksRight)
          WriteCachedAnswer(request.CachePath, request.Text, answer.Body);
      } else {
        answer.Error = result.Error.empty() ? std::string("download failed") : result.Error;
      }
    }
  }
  kKinds[request.Kind].Parse(answer);
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
  const std::vector<std::string> lines = string_list_detail::SplitLines(params);
  {
    std::lock_guard<std::mutex> lock(FQueueMutex);
    for (const std::string& line : lines) FKinds[kind].Queue.push_back(line);
  }
  QueueStep(kind);
}

void TOpenMapQuestServices::QueueStep(TMapQuestKind kind) {
  TKindState& state = FKinds[kind];
  if (state.Busy || FAborting) return;
  std::string params;
  {
    std::lock_guard<std::mutex> lock(FQueueMutex);
    if (state.Queue.empty()) return;
    params = std::move(state.Queue.front());
    state.Queue.pop_front();
  }
  const TServiceRequest request = BuildRequest(kind, params);
  FParams = request.CachePath.empty() ? request.Text : "{" + request.CachePath + "}" + request.Text;
  if (state.Thread.joinable()) state.Thread.join();  // a finished worker
  state.Busy = true;
  state.Thread = std::thread([this, request, kind] {
    auto answer = std::make_unique<TServiceAnswer>();
    RunRequest(request, *answer, &FAborting);
    // The last act of the worker: hand the answer to the window thread.
    auto shared = std::make_shared<std::unique_ptr<TServiceAnswer>>(std::move(answer));
    FGuard.Post([this, kind, shared] { Complete(kind, std::move(*shared)); });
  });
}

void TOpenMapQuestServices::SetCurrent(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer) {
  if (kind == mkSearch) FSearchResult.SetDataList(nullptr);  // its list goes away
  FKinds[kind].Current = std::move(*answer);
}

void TOpenMapQuestServices::Complete(TMapQuestKind kind, std::unique_ptr<TServiceAnswer> answer) {
  TKindState& state = FKinds[kind];
  if (state.Thread.joinable()) state.Thread.join();
  state.Busy = false;
  if (answer) SetCurrent(kind, std::move(answer));
  const TNotifyEvent& event = EventOf(kind);
  if (event) {
    const std::shared_ptr<bool> alive = FAlive;
    const TNotifyEvent handler = event;  // the handler may replace itself
    handler(this);
    if (!*alive) return;
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
