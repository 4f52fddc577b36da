#pragma once
// The traffic layer: the incidents of the visible area as markers in the
// map's group "_traffic_" (not saved with the map, below the other groups,
// clickable), asked for again when the map stops moving.
//
// Requests go through the map's geolocalisation component (TrafficArea);
// its answer comes back through doTraffic, which the map binds to the
// component's OnTrafficLayer. At most one request runs at a time, and a new
// one goes out only when more than kThrottleMs have passed since the last
// (ticks of platform/tick.h). A move that could not be fetched then - a
// request was running, or the last one is too recent - is remembered: it is
// fetched as soon as the running request is answered, or at the next end of
// a move. The markers of an answer replace those of the previous one when
// it arrives, so the incidents stay visible while the next request runs.
//
// Incident descriptions become the markers' hints, which are drawn as
// markup: every hint is neutralised once the markers are read.
//
// Window thread only. The layer may outlive the map (see TWyNativeLayer).

#include <memory>
#include <string>

#include "map/native_layer.h"

namespace wy {

class TWyGeoLocalise;

class TWyTrafficLayer : public TWyNativeLayer {
 public:
  static constexpr uint32_t kThrottleMs = 250;
  static constexpr const char* kGroupName = "_traffic_";

  explicit TWyTrafficLayer(TVuroduDavControl* _FMap);
  ~TWyTrafficLayer() override;

  // Shows or hides the markers; showing asks for the visible area at once.
  void SetVisible(bool value) override;
  // Takes the map's current component: its OnTrafficLayer is pointed at
  // doTraffic (and a previous component's released). Null: none.
  void Bind(TWyGeoLocalise* component);
  // The component's answer: the incidents as marker text. Ignored while the
  // layer is hidden.
  void doTraffic(TObject* sender, const std::string& value);
  // True from a request until its answer.
  bool isTraffic() const { return FIsTraffic; }

 protected:
  void MapEndMove(void* Sender) override;

 private:
  void Request();

  TWyGeoLocalise* FComponent = nullptr;
  uint32_t FLastTrafficSearch = 0;
  bool FSearched = false;
  bool FIsTraffic = false;
  bool FPending = false;
  // Shared with the component's handler, which outlives this layer when the
  // component does: once false, the handler does nothing.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace wy
