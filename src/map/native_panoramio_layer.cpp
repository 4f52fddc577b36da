#include "map/native_panoramio_layer.h"

#include <utility>

#include "geo/text_convert.h"
#include "map/detail/fire_event.h"
#include "map/map_control.h"
#include "platform/tick.h"
#include "services/photo_page.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// The info window's group lies over the other groups (the hint window's is
// 10010), so shapes of the application never cover it.
constexpr int32_t kInfoGroupZIndex = 10000;

// Photo addresses come from the service: only web addresses that cannot
// leave a quoted attribute are used as icons or pictures.
bool IsSafeImageAddress(const std::string& url) {
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return false;
  return url.find_first_of("\"'<> \t\r\n") == std::string::npos;
}

// A coordinate of a photo, read from its line; false when it is not one.
bool PhotoPosition(const TWyNativePanoramio& photos, int index, double& lat, double& lng) {
  const auto& items = photos.Items();
  const size_t first = static_cast<size_t>(index) * kPhotoLines;
  return TryStrToFloatDot(items[first + 3], lat) && TryStrToFloatDot(items[first + 2], lng) &&
         lat >= -90 && lat <= 90 && lng >= -180 && lng <= 180;
}

}  // namespace

TWyNativePanoramioLayer::TWyNativePanoramioLayer(TVuroduDavControl* _FMap, const std::string& Name)
    : TWyNativeLayer(_FMap, Name), FPanoramio(std::make_unique<TWyNativePanoramio>()) {
  FPanoramio->OnPanoramio = [this](TWyNativePanoramio*) { PageArrived(); };
  if (TWyShapes* group = Shapes()) {
    group->SetSerialize(false);
    group->SetZindex(-1);
    group->SetClickable(true);
  }
}

// The search goes first: its worker is stopped and nothing it posted runs.
TWyNativePanoramioLayer::~TWyNativePanoramioLayer() {
  FPanoramio.reset();
}

TWyShapes* TWyNativePanoramioLayer::InfoGroup() const {
  TVuroduDavControl* map = Map();
  if (!map || !Shapes()) return nullptr;
  TWyShapes* group = map->ShapesGroup().getShapes(Shapes()->Name() + "_info");
  group->SetSerialize(false);
  group->SetZindex(kInfoGroupZIndex);
  return group;
}

TWyShapeInfoWindow* TWyNativePanoramioLayer::InfoWindow() const {
  TWyShapes* group = InfoGroup();
  if (!group || group->InfoWindows()->Count() == 0) return nullptr;
  return group->InfoWindows()->Items(0);
}

void TWyNativePanoramioLayer::SetVisible(bool value) {
  TWyNativeLayer::SetVisible(value);
  if (TWyShapes* info = InfoGroup()) info->SetVisible(value);
  MapEndMove(nullptr);
}

void TWyNativePanoramioLayer::MapEndMove(void*) {
  TVuroduDavControl* map = Map();
  if (!map || !Visible()) return;
  if (FSearched && TickElapsed(TickCount(), FLastPanoramioSearch) <= kThrottleMs) return;
  FSearched = true;
  FLastPanoramioSearch = TickCount();
  FPanoramio->SetLatSW(map->SouthWestLatitude());
  FPanoramio->SetLngSW(map->SouthWestLongitude());
  FPanoramio->SetLatNE(map->NorthEastLatitude());
  FPanoramio->SetLngNE(map->NorthEastLongitude());
  FPanoramio->Search();
}

void TWyNativePanoramioLayer::PageArrived() {
  TVuroduDavControl* map = Map();
  TWyShapes* group = Shapes();
  if (!map || !group) return;
  TWyShapeMarkerList* markers = group->Markers();
  group->BeginUpdate();
  for (int i = 0; i < FPanoramio->count(); ++i) {
    const std::string icon = FPanoramio->PhotoSize(i, pimMini_square);
    double lat = 0, lng = 0;
    if (!IsSafeImageAddress(icon) || markers->IndexOfFilename(icon) >= 0 ||
        !PhotoPosition(*FPanoramio, i, lat, lng))
      continue;
    auto item = std::make_unique<TWyPanoramioItem>();
    item->OwnerId = FPanoramio->OwnerId(i);
    item->OwnerName = FPanoramio->OwnerName(i);
    item->PhotoDate = FPanoramio->PhotoDate(i);
    item->PhotoId = FPanoramio->PhotoId(i);
    item->Longitude = lng;
    item->Latitude = lat;
    item->PhotoTitle = FPanoramio->PhotoTitle(i);
    item->PhotoUrl = FPanoramio->PhotoUrl(i);
    item->HtmlCopyright = FPanoramio->HtmlCopyright(i);
    auto* marker = dynamic_cast<TWyShapeMarker*>(map->Add(nsMarker, lat, lng, group->Name()));
    if (!marker) continue;
    marker->SetColor(kMarkerColor);
    marker->SetFilename(icon);
    marker->SetHint(item->PhotoTitle);  // neutralised by the search
    marker->SetOwnItem(true);
    marker->SetItem(item.release());
  }
  group->EndUpdate();
  if (Visible()) Fire(OnPanoramio, this);
}

void TWyNativePanoramioLayer::ShowInfo(const TWyPanoramioItem& item, TWyShape* marker) {
  TWyShapes* group = InfoGroup();
  if (!group) return;
  TWyShapeInfoWindow* info = InfoWindow();
  if (!info) {
    TWyShapeInfoWindowList* infos = group->InfoWindows();
    info = infos->Items(infos->Add(item.Latitude, item.Longitude, ""));
    if (!info) return;
    info->SetSerialize(false);
  }
  // Title and owner name are neutralised by the search; the picture is used
  // only from a web address that cannot leave its attribute.
  std::string content = "<b>" + item.PhotoTitle + "</b><br>";
  const std::string picture = ReplaceAll(item.PhotoUrl, "/medium/", "/thumbnail/");
  if (IsSafeImageAddress(picture)) content += "<img src=\"" + picture + "\"><br>";
  if (!item.OwnerName.empty()) content += item.OwnerName + "<br>";
  content += item.HtmlCopyright;
  info->SetContent(content);
  info->SetPosition(marker->Latitude(), marker->Longitude());
  info->SetVisible(true);
  // The window opens above the photo: a photo near the top of the view is
  // brought to its centre so that the window is seen whole.
  TVuroduDavControl* map = Map();
  const double top = map->NorthEastLatitude();
  if (marker->Latitude() > top - (top - map->SouthWestLatitude()) / 3)
    map->PanTo(marker->Latitude(), marker->Longitude());
}

void TWyNativePanoramioLayer::ShapeClick(void* Sender) {
  TWyNativeLayer::ShapeClick(Sender);
  auto* shape = static_cast<TWyShape*>(Sender);
  if (!shape || !Map()) return;
  auto* item = dynamic_cast<TWyPanoramioItem*>(shape->Item());
  if (!item) return;
  ShowInfo(*item, shape);
  // Copies: the handler may remove the marker, which frees its item.
  const std::string ownerId = item->OwnerId, ownerName = item->OwnerName, id = item->PhotoId,
                    date = item->PhotoDate, title = item->PhotoTitle, url = item->PhotoUrl,
                    copyright = item->HtmlCopyright;
  Fire(OnPanoramioClick, Map(), shape, ownerId, ownerName, id, date, title, url, copyright);
}

}  // namespace wy
