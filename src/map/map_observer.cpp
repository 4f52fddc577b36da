#include "map/map_observer.h"

namespace wy {

void TVuroduDavObserver::Send(uint32_t msg, void* WParam) {
  auto fire = [](const TNotifyEvent& event, void* sender) {
    if (event) event(sender);
  };
  switch (msg) {
    case omMapFree:
      FMapFree = true;
      fire(OnMapFree, this);
      break;
    case omMapMove:
      fire(OnMapMove, this);
      break;
    case omMapBounds:
      fire(OnMapBounds, this);
      break;
    case omMapResize:
      fire(OnMapResize, this);
      break;
    case omMapTileServer:
      fire(OnMapTileServer, this);
      break;
    case omMapAddRoute:
      fire(OnMapAddRoute, WParam);
      break;
    case omMapEndMove:
      fire(OnMapEndMove, this);
      break;
    case omMapMouseMove:
      fire(OnMapMouseMove, this);
      break;
    case omMapMouseClick:
      fire(OnMapMouseClick, this);
      break;
    case omMapAnimation:
      fire(OnMapAnimation, this);
      break;
    case omShapeClick:
      fire(OnMapShapeClick, WParam);
      break;
    case omShapeRightClick:
      fire(OnMapShapeRightClick, WParam);
      break;
    case omShapeDrag:
      fire(OnMapShapeDrag, WParam);
      break;
    case omShapeDragEnd:
      fire(OnMapShapeDragEnd, WParam);
      break;
    case omShapeDblClick:
      fire(OnMapShapeDblClick, WParam);
      break;
    case omShapeMouseOut:
      fire(OnMapShapeMouseOut, WParam);
      break;
    case omShapeMouseOver:
      fire(OnMapShapeMouseOver, WParam);
      break;
    default:
      break;  // omMapPaint, omMapRotation, 3033 and unknown numbers
  }
}

}  // namespace wy
