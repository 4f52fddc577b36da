#include "services/bing_services.h"

#include <utility>

#include "geo/settings.h"
#include "geo/stream.h"
#include "geo/string_list.h"
#include "geo/text_convert.h"
#include "geo/web_fetch.h"

namespace wy {

namespace {

constexpr const char* kIncidentsPath = "/REST/v1/Traffic/Incidents/";
constexpr int64_t kDefaultMaxAnswerBytes = 16 * 1024 * 1024;

std::string IconAddress(const std::string& base, const char* file) {
  return base.empty() ? std::string() : base + file;
}

}  // namespace

TBingServices::TBingServices() {
  const std::string base = GetSetting("traffic.icon-base");
  FIcons.low_impact = IconAddress(base, "menatwork.png");
  FIcons.accident = IconAddress(base, "accident.png");
  FIcons.road_closed = IconAddress(base, "closedroad.png");
  FIcons.serious = IconAddress(base, "stop.png");
}

TBingServices::~TBingServices() {
  OnTraffic = nullptr;
}

TBingServices::TOutcome TBingServices::Run(const std::string& host, const std::string& params,
                                           const TrafficIcons& icons,
                                           const std::function<bool()>& abort) {
  TOutcome outcome;
  if (host.empty()) {
    outcome.Status = kStatusNoService;
    return outcome;
  }
  if (params.empty()) {
    outcome.Status = std::string(kStatusError) + " empty request";
    return outcome;
  }
  TDownloadOptions options;
  options.MaxSize =
      static_cast<uint32_t>(GetSettingInt("services.max-bytes", kDefaultMaxAnswerBytes));
  options.Abort = abort;
  TDownloadResult result;
  TMemoryStream stream;
  if (!DownloadToStream(host + kIncidentsPath + params, &stream, options, &result)) {
    outcome.Status = std::string(kStatusError) + " " + result.Error;
    return outcome;
  }
  outcome.Xml = stream.DataString();
  outcome.Txt = TrafficXmlToMarkers(outcome.Xml, icons);
  outcome.Status = kStatusOk;
  return outcome;
}

std::string TBingServices::TrafficResults() const {
  std::string text;
  const auto line = [&text](const char* name, const std::string& value) {
    if (value.empty()) return;
    text += name;
    text += '=';
    text += EscapeChars("\r\n=", value);
    text += "\r\n";
  };
  line("xml", FXml);
  line("txt", FTxt);
  return text;
}

void TBingServices::Apply(TOutcome& outcome) {
  FStatus = std::move(outcome.Status);
  FXml = std::move(outcome.Xml);
  FTxt = std::move(outcome.Txt);
}

bool TBingServices::Traffic(const std::string& sParams) {
  FParams = sParams;
  TOutcome outcome = Run(GetEndpoint("traffic"), sParams, FIcons, {});
  Apply(outcome);
  return !FXml.empty();
}

void TBingServices::AsyncTraffic(const std::string& sParams) {
  for (auto& line : string_list_detail::SplitLines(sParams))
    if (!Trim(line).empty()) FWorker.Push(std::move(line));
  StartNext();
}

void TBingServices::StartNext() {
  std::string params;
  if (!FWorker.TakeNext(params)) return;
  FParams = params;
  // The worker works with copies taken here.
  TOwnedWorker* worker = &FWorker;
  auto work = [this, worker, host = GetEndpoint("traffic"), params, icons = FIcons] {
    auto outcome = std::make_shared<TOutcome>(Run(host, params, icons, worker->AbortCheck()));
    worker->Post([this, outcome] { Completed(outcome); });
  };
  std::string error;
  if (!FWorker.Start(std::move(work), "traffic request", &error)) {
    auto outcome = std::make_shared<TOutcome>();
    outcome->Status = std::string(kStatusError) + " " + error;
    FWorker.Post([this, outcome] { Completed(outcome); });
  }
}

void TBingServices::Completed(const std::shared_ptr<TOutcome>& outcome) {
  // The worker's last act was posting this: the join is short.
  FWorker.Join();
  Apply(*outcome);
  // The handler sees the finished request (Params included) and may destroy
  // the client: the next request starts only when it is still there.
  const TAliveToken alive = FWorker.Alive();
  const auto handler = OnTraffic;
  if (handler) handler(this);
  if (alive) StartNext();
}

}  // namespace wy
