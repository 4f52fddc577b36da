#include "map/traffic_layer.h"

#include "geo/text_convert.h"
#include "map/map_control.h"
#include "map/traffic_icons.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "shapes/shape.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// Icons the component has no address for get the map's own drawings.
void FillMissingIcons(TWyGeoLocalise& component) {
  const TrafficIcons& drawn = DrawnTrafficIcons();
  if (component.TrafficIconLowImpact().empty()) component.SetTrafficIconLowImpact(drawn.low_impact);
  if (component.TrafficIconMinor().empty()) component.SetTrafficIconMinor(drawn.accident);
  if (component.TrafficIconRoadClosed().empty())
    component.SetTrafficIconRoadClosed(drawn.road_closed);
  if (component.TrafficIconSerious().empty()) component.SetTrafficIconSerious(drawn.serious);
}

}  // namespace

TWyTrafficLayer::TWyTrafficLayer(TVuroduDavControl* _FMap) : TWyNativeLayer(_FMap, kGroupName) {
  if (TWyShapes* group = Shapes()) {
    group->SetSerialize(false);
    group->SetZindex(-1);
    group->SetClickable(true);
  }
}

// The component may already be gone (the map does not own it): its
// handler is left in place and finds the layer gone.
TWyTrafficLayer::~TWyTrafficLayer() {
  *FAlive = false;
}

void TWyTrafficLayer::Bind(TWyGeoLocalise* component) {
  if (component == FComponent) return;
  if (FComponent) FComponent->OnTrafficLayer = nullptr;
  FComponent = component;
  // An answer still owed by the previous component will not come.
  FIsTraffic = false;
  if (!component) return;
  const std::shared_ptr<bool> alive = FAlive;
  component->OnTrafficLayer = [this, alive](TObject* sender, const std::string& value) {
    if (*alive) doTraffic(sender, value);
  };
}

void TWyTrafficLayer::SetVisible(bool value) {
  TWyNativeLayer::SetVisible(value);
  if (TWyShapes* group = Shapes(); group && !value) group->Clear();
  if (value) MapEndMove(nullptr);
}

void TWyTrafficLayer::MapEndMove(void*) {
  if (!Visible()) return;
  if (FIsTraffic || (FSearched && TickElapsed(TickCount(), FLastTrafficSearch) <= kThrottleMs)) {
    FPending = true;
    return;
  }
  Request();
}

void TWyTrafficLayer::Request() {
  TVuroduDavControl* map = Map();
  if (!map || !FComponent) return;
  FillMissingIcons(*FComponent);
  FIsTraffic = true;
  FPending = false;
  FSearched = true;
  FLastTrafficSearch = TickCount();
  FComponent->TrafficArea(map->SouthWestLatitude(), map->SouthWestLongitude(),
                          map->NorthEastLatitude(), map->NorthEastLongitude());
}

void TWyTrafficLayer::doTraffic(TObject*, const std::string& value) {
  FIsTraffic = false;
  TVuroduDavControl* map = Map();
  TWyShapes* group = Shapes();
  if (!map || !group || !Visible()) return;
  TWyShapesGroup& registry = map->ShapesGroup();
  registry.BeginUpdate();
  group->BeginUpdate();
  group->Clear();
  group->SetSerialize(false);
  group->SetZindex(-1);
  group->SetToTxt(value);
  // The reader turns entities of a title back into characters, so a
  // description may only be neutralised once it is read.
  TWyShapeList* markers = group->Markers();
  for (int32_t i = 0; i < markers->Count(); ++i) {
    TWyShape* marker = markers->Items(i);
    marker->SetHint(NeutraliseMarkup(marker->Hint()));
  }
  group->SetClickable(true);
  group->EndUpdate();
  registry.EndUpdate();
  const std::shared_ptr<bool> alive = FAlive;
  if (registry.OnTraffic) {
    const auto handler = registry.OnTraffic;
    handler(&registry);
  }
  if (*alive && FPending) Request();
}

}  // namespace wy
