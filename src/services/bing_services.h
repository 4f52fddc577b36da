#pragma once
// Traffic incidents client: asks the traffic service (the "endpoint.traffic"
// setting, base before "/REST/v1/Traffic/Incidents/") for the incidents of a
// box and turns the XML answer into a "[markers]" block, one marker per
// incident with an icon chosen by its severity (services/traffic_xml.h).
//
// Requests queue in order and run one at a time on a worker thread the
// client owns. The worker gets copies of the request and of the icons, fills
// results of its own and hands them to the window thread, where they replace
// the client's results and OnTraffic fires; the next queued request starts
// then. So the icons may be changed at any time: a running request keeps the
// icons it started with.
//
// With no service set (empty "endpoint.traffic") a request fails at once,
// without any network access: the results are empty, Status says why, and
// OnTraffic still fires for an asynchronous request.
//
// Create, use and destroy on the window thread. Destroying the client drops
// the queue, cuts the running transfer, waits for the worker and drops its
// completion: nothing fires afterwards.

#include <functional>
#include <memory>
#include <string>

#include "geo/object.h"
#include "platform/owned_worker.h"
#include "services/traffic_xml.h"

namespace wy {

class TBingServices : public TObject {
 public:
  static constexpr const char* kStatusOk = "OK";
  static constexpr const char* kStatusNoService = "ERROR no traffic service set";
  static constexpr const char* kStatusError = "ERROR";

  // Icons: the "traffic.icon-base" setting followed by "menatwork.png",
  // "accident.png", "closedroad.png" and "stop.png"; all empty when the
  // setting is empty (the map then draws its own).
  TBingServices();
  ~TBingServices() override;
  TBingServices(const TBingServices&) = delete;
  TBingServices& operator=(const TBingServices&) = delete;

  // Queues each line of sParams as a request of its own (blank lines are
  // skipped) and starts the first when no request runs. OnTraffic fires once
  // per request, in order.
  void AsyncTraffic(const std::string& sParams);
  // One request on the calling thread (it blocks for the round trip); true
  // when results arrived. OnTraffic does not fire.
  bool Traffic(const std::string& sParams);

  // The request text most recently started.
  const std::string& Params() const { return FParams; }
  // True while a request runs or waits.
  bool Busy() const { return FWorker.Busy() || FWorker.QueuedCount() > 0; }
  // "" before the first request ends, then kStatusOk, kStatusNoService or
  // kStatusError plus the reason.
  const std::string& Status() const { return FStatus; }

  // The raw answer and the marker text of the last request; "" when it
  // failed or (for the marker text) found no incident.
  const std::string& TrafficXmlResults() const { return FXml; }
  const std::string& TrafficTxtResults() const { return FTxt; }
  // Both as "xml=" and "txt=" lines with CR, LF and "=" escaped; an empty
  // value leaves its line out.
  std::string TrafficResults() const;

  const std::string& IconLowImpact() const { return FIcons.low_impact; }
  const std::string& IconMinor() const { return FIcons.accident; }
  const std::string& IconModerate() const { return FIcons.accident; }
  const std::string& IconSerious() const { return FIcons.serious; }
  const std::string& IconRoadClosed() const { return FIcons.road_closed; }
  void SetIconLowImpact(const std::string& value) { FIcons.low_impact = value; }
  // Minor and moderate incidents share one icon.
  void SetIconMinor(const std::string& value) { FIcons.accident = value; }
  void SetIconModerate(const std::string& value) { FIcons.accident = value; }
  void SetIconSerious(const std::string& value) { FIcons.serious = value; }
  void SetIconRoadClosed(const std::string& value) { FIcons.road_closed = value; }
  const TrafficIcons& Icons() const { return FIcons; }

  // A request ended (also when it failed); sender: the client.
  std::function<void(TBingServices* sender)> OnTraffic;

  // The work of one request: fetch host + "/REST/v1/Traffic/Incidents/" +
  // params and read the answer. Any thread; `abort` (may be empty) cuts the
  // transfer. Exposed for the worker and the synchronous call.
  struct TOutcome {
    std::string Status;
    std::string Xml;
    std::string Txt;
  };
  static TOutcome Run(const std::string& host, const std::string& params, const TrafficIcons& icons,
                      const std::function<bool()>& abort);

 private:
  void StartNext();
  void Completed(const std::shared_ptr<TOutcome>& outcome);
  void Apply(TOutcome& outcome);

  std::string FParams;
  std::string FStatus;
  std::string FXml;
  std::string FTxt;
  TrafficIcons FIcons;
  // Last member: destroyed first, it cuts and joins a running request.
  TOwnedWorker FWorker;
};

}  // namespace wy
