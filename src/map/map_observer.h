#pragma once
// TVuroduDavObserver: an object that follows what happens to a map. The map
// sends it numbered messages (the om* constants); Send turns each into a call
// of the matching event. Window thread only.

#include <cstdint>
#include <functional>

namespace wy {

enum TObserverMessage : uint32_t {
  omMapFree = 3029,
  omMapMove = 3030,
  omMapBounds = 3031,
  omMapResize = 3032,
  // 3033 is not used.
  omMapTileServer = 3034,
  omMapAddRoute = 3035,
  omMapPaint = 3036,  // never sent by the map
  omMapEndMove = 3037,
  omMapRotation = 3038,  // never sent by the map
  omMapMouseMove = 3039,
  omMapMouseClick = 3040,
  omMapAnimation = 3041,
  omShapeClick = 3042,
  omShapeRightClick = 3043,
  omShapeDrag = 3044,
  omShapeDragEnd = 3045,
  omShapeDblClick = 3046,
  omShapeMouseOut = 3047,
  omShapeMouseOver = 3048,
};

class TVuroduDavObserver {
 public:
  // Sender: the observer itself for map messages, the shape for shape
  // messages, the new route line for omMapAddRoute.
  using TNotifyEvent = std::function<void(void* Sender)>;

  TVuroduDavObserver() = default;
  virtual ~TVuroduDavObserver() = default;
  TVuroduDavObserver(const TVuroduDavObserver&) = delete;
  TVuroduDavObserver& operator=(const TVuroduDavObserver&) = delete;

  // Dispatches one message; unknown numbers (and the two the map never
  // sends) are ignored. omMapFree sets MapFree before the event runs.
  void Send(uint32_t msg, void* WParam);

  // True once the map announced its destruction: do not call it any more.
  bool MapFree() const { return FMapFree; }
  // Inclusive zoom range in which the map delivers messages.
  uint8_t MinZoom() const { return FMinZoom; }
  void SetMinZoom(uint8_t v) { FMinZoom = v; }
  uint8_t MaxZoom() const { return FMaxZoom; }
  void SetMaxZoom(uint8_t v) { FMaxZoom = v; }

  TNotifyEvent OnMapFree;
  TNotifyEvent OnMapTileServer;
  TNotifyEvent OnMapResize;
  TNotifyEvent OnMapEndMove;
  TNotifyEvent OnMapMove;
  TNotifyEvent OnMapMouseMove;
  TNotifyEvent OnMapMouseClick;
  TNotifyEvent OnMapBounds;
  TNotifyEvent OnMapAddRoute;
  TNotifyEvent OnMapRotation;
  TNotifyEvent OnMapAnimation;
  TNotifyEvent OnMapShapeDrag;
  TNotifyEvent OnMapShapeDragEnd;
  TNotifyEvent OnMapShapeClick;
  TNotifyEvent OnMapShapeDblClick;
  TNotifyEvent OnMapShapeRightClick;
  TNotifyEvent OnMapShapeMouseOut;
  TNotifyEvent OnMapShapeMouseOver;
  TNotifyEvent OnMapPaint;

 private:
  bool FMapFree = false;
  uint8_t FMaxZoom = 23;
  uint8_t FMinZoom = 0;
};

}  // namespace wy
