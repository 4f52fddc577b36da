// The map's route operations: routes asked of the geolocalisation component
// and drawn as lines.
#include <utility>

#include "map/detail/map_control_private.h"
#include "map/map_control.h"
#include "platform/map_messages.h"
#include "services/directions_answer.h"
#include "services/geo_localise.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

std::string WithRouteType(const std::string& params, TMQRouteType routeType) {
  return params + "&routeType=" + RouteTypeToStr(routeType);
}

}  // namespace

std::unique_ptr<TWyRoutePath> TVuroduDavControl::GetRoutePathByAdress(
    const std::string& StartAdress, const std::string& EndAdress, TMQRouteType routeType,
    const std::string& params) {
  if (!FD->FGeoLocalise) return nullptr;
  return FD->FGeoLocalise->RoutePath(
      TWyGeoLocalise::RouteByAddressText(StartAdress, EndAdress, WithRouteType(params, routeType)));
}

std::unique_ptr<TWyRoutePath> TVuroduDavControl::GetRoutePathFrom(const std::vector<double>& points,
                                                                  TMQRouteType routeType,
                                                                  const std::string& params) {
  if (!FD->FGeoLocalise) return nullptr;
  const std::string text = TWyGeoLocalise::RouteFromText(points, WithRouteType(params, routeType));
  return text.empty() ? nullptr : FD->FGeoLocalise->RoutePath(text);
}

void TVuroduDavControl::GetASyncRoutePathByAdress(const std::string& StartAdress,
                                                  const std::string& EndAdress,
                                                  TMQRouteType routeType,
                                                  const std::string& params) {
  if (!FD->FGeoLocalise) return;
  const std::shared_ptr<bool> alive = FD->FRoutesAlive;
  FD->FGeoLocalise->AsyncRoutePath(
      TWyGeoLocalise::RouteByAddressText(StartAdress, EndAdress, WithRouteType(params, routeType)),
      [this, alive](TWyGeoLocalise*, const std::string& text, const TWyRoutePath& path) {
        if (!*alive) return;
        const TOnRoutePath handler = OnRoutePath;
        if (handler) handler(this, text, path);
      },
      alive);
}

void TVuroduDavControl::GetASyncRoutePathFrom(const std::vector<double>& points,
                                              TMQRouteType routeType, const std::string& params) {
  if (!FD->FGeoLocalise) return;
  const std::string text = TWyGeoLocalise::RouteFromText(points, WithRouteType(params, routeType));
  if (text.empty()) return;
  const std::shared_ptr<bool> alive = FD->FRoutesAlive;
  FD->FGeoLocalise->AsyncRoutePath(
      text,
      [this, alive](TWyGeoLocalise*, const std::string& params, const TWyRoutePath& path) {
        if (!*alive) return;
        const TOnRoutePath handler = OnRoutePath;
        if (handler) handler(this, params, path);
      },
      alive);
}

bool TVuroduDavControl::FillRoutePath(TWyRoutePath& path) {
  if (!FD->FGeoLocalise) {
    path.clear();
    return false;
  }
  return FillRoutePathFromLines(FD->FGeoLocalise->MapQuestServices().DirectionsResults(), path);
}

TWyShapeLine* TVuroduDavControl::AddRoute(const TWyRoutePath& RoutePath,
                                          const std::string& GroupName) {
  BeginUpdate();
  TWyShapeLineList* lines = FD->FShapesGroup->getShapes(GroupName)->Lines();
  TWyShapeLine* line = lines->Items(lines->Add(0, 0));
  line->SetRoutePath(&RoutePath);
  EndUpdate();
  NotifyObservers(omMapAddRoute, line);
  PostMapMessage(MessageTarget(), WM_MAPREPAINT);
  return line;
}

}  // namespace wy
