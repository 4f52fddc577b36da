// The map's traffic and photo layer switches.

#include "map/detail/fire_event.h"
#include "map/map_control.h"
#include "map/native_panoramio_layer.h"
#include "map/traffic_layer.h"
#include "shapes/shapes_group.h"

namespace wy {

void TVuroduDavControl::SetTrafficLayer(bool value) {
  FTraffic = value;
  FShapesGroup->SetTrafficLayer(value);
  if (!FTrafficLayer) {
    if (!value) return;
    FTrafficLayer = std::make_unique<TWyTrafficLayer>(this);
  }
  FTrafficLayer->Bind(FGeoLocalise);
  FTrafficLayer->SetVisible(value);
  if (FDraw) FShapesGroup->ShapesToDraw();
}

void TVuroduDavControl::SetPanoramioLayer(bool value) {
  FPanoramio = value;
  if (value && !FNativePanoramioLayer) {
    FNativePanoramioLayer = std::make_unique<TWyNativePanoramioLayer>(this);
    // The relays read the map's handlers when they fire.
    FNativePanoramioLayer->OnPanoramio = [this](TObject* sender) {
      if (!FDestroying) Fire(OnPanoramio, sender);
    };
    FNativePanoramioLayer->OnPanoramioClick =
        [this](TObject*, TWyShape* item, const std::string& ownerId, const std::string& ownerName,
               const std::string& id, const std::string& date, const std::string& title,
               const std::string& url, const std::string& copyright) {
          if (!FDestroying)
            Fire(OnPanoramioClick, this, item, ownerId, ownerName, id, date, title, url, copyright);
        };
  }
  if (FNativePanoramioLayer) FNativePanoramioLayer->SetVisible(value);
  if (FDraw) FShapesGroup->ShapesToDraw();
}

}  // namespace wy
