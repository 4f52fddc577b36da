// The map's traffic and photo layer switches.

#include "map/detail/fire_event.h"
#include "map/detail/map_control_private.h"
#include "map/map_control.h"
#include "map/native_panoramio_layer.h"
#include "map/traffic_layer.h"
#include "shapes/shapes_group.h"

namespace wy {

void TVuroduDavControl::SetTrafficLayer(bool value) {
  FD->FTraffic = value;
  FD->FShapesGroup->SetTrafficLayer(value);
  if (!FD->FTrafficLayer) {
    if (!value) return;
    FD->FTrafficLayer = std::make_unique<TWyTrafficLayer>(this);
  }
  FD->FTrafficLayer->Bind(FD->FGeoLocalise);
  FD->FTrafficLayer->SetVisible(value);
  if (FD->FDraw) FD->FShapesGroup->ShapesToDraw();
}

void TVuroduDavControl::SetPanoramioLayer(bool value) {
  FD->FPanoramio = value;
  if (value && !FD->FNativePanoramioLayer) {
    FD->FNativePanoramioLayer = std::make_unique<TWyNativePanoramioLayer>(this);
    // The relays read the map's handlers when they fire.
    FD->FNativePanoramioLayer->OnPanoramio = [this](TObject* sender) {
      if (!FD->FDestroying) Fire(OnPanoramio, sender);
    };
    FD->FNativePanoramioLayer->OnPanoramioClick =
        [this](TObject*, TWyShape* item, const std::string& ownerId, const std::string& ownerName,
               const std::string& id, const std::string& date, const std::string& title,
               const std::string& url, const std::string& copyright) {
          if (!FD->FDestroying)
            Fire(OnPanoramioClick, this, item, ownerId, ownerName, id, date, title, url, copyright);
        };
  }
  if (FD->FNativePanoramioLayer) FD->FNativePanoramioLayer->SetVisible(value);
  if (FD->FDraw) FD->FShapesGroup->ShapesToDraw();
}

}  // namespace wy
