// The map's state in the system's own sectioned text: the "[map]" section
// (drag switch, centre, zoom, tile server) followed by the registry's text,
// saved to and read from files, and the end of a group's reading.

#include <algorithm>
#include <string>
#include <string_view>

#include "formats/export_file.h"
#include "formats/map_data_file.h"
#include "formats/param_parser.h"
#include "formats/shape_file.h"
#include "geo/enums.h"
#include "geo/text_convert.h"
#include "map/detail/fire_event.h"
#include "map/detail/map_control_private.h"
#include "map/map_control.h"
#include "platform/log.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

constexpr uint8_t kDefaultZoom = 14;

// The raw value of `name` in the "[map]" section; false when it is missing
// or empty.
bool MapValue(const TWyParamParser& section, const char* name, std::string_view& value) {
  return section.Find(name, value) && !value.empty();
}

double MapReal(const TWyParamParser& section, const char* name, double def) {
  std::string_view text;
  double value = def;
  if (!MapValue(section, name, text) || !ParseParamDouble(text, value)) return def;
  return value;
}

}  // namespace

std::string TVuroduDavControl::ToTxt() {
  std::string out = "[map]\r\n";
  out += "draggable=" + BoolToText(FD->FDraggable) + "\r\n";
  out += "latitude=" + FloatToStrDot(Latitude()) + "\r\n";
  out += "longitude=" + FloatToStrDot(Longitude()) + "\r\n";
  out += "zoom=" + std::to_string(Zoom()) + "\r\n";
  out += "tileserver=" + TileServerToStr(TileServer()) + "\r\n";
  // Written only when on, so the text of a map without layers stays as it
  // always was.
  if (FD->FTraffic) out += "traffic=true\r\n";
  if (FD->FPanoramio) out += "photos=true\r\n";
  return out + FD->FShapesGroup->GetToTxt();
}

// The zoom goes before the centre: a zoom change pivots on the centre pixel,
// which would move a centre set first by up to half a pixel of the old zoom
// scaled up to the new one.
void TVuroduDavControl::SetToTxt(const std::string& value) {
  const TWyMapDataFile file(value);
  const TWyParamParser section(file.ReadSection("[map]"));
  std::string_view text;
  const TTileServer server =
      StrToTileServer(MapValue(section, "tileserver", text) ? std::string(text) : "");
  int32_t zoom = kDefaultZoom;
  if (!MapValue(section, "zoom", text) || !ParseParamInt(text, zoom)) zoom = kDefaultZoom;
  const double lat = MapReal(section, "latitude", kDefaultLatitude);
  const double lng = MapReal(section, "longitude", kDefaultLongitude);
  const bool draggable =
      TextToBoolDef(MapValue(section, "draggable", text) ? std::string(text) : "", true);

  SetTileServer(server);
  SetZoom(static_cast<uint8_t>(std::clamp<int32_t>(zoom, 0, 255)));
  setCenter(lat, lng);
  SetDraggable(draggable);
  const bool traffic =
      TextToBoolDef(MapValue(section, "traffic", text) ? std::string(text) : "", false);
  const bool photos =
      TextToBoolDef(MapValue(section, "photos", text) ? std::string(text) : "", false);
  FD->FShapesGroup->ReadTxt(file);
  SetTrafficLayer(traffic);
  SetPanoramioLayer(photos);
}

bool TVuroduDavControl::LoadFromFile(const std::string& filename) {
  if (FD->FShapesGroup->isLoading()) {
    LogWarning("map", "still loading: " + filename + " refused");
    return false;
  }
  // Own text is read as the map's text (its "[map]" section too), at once
  // for a file and on arrival for an address; foreign documents are
  // converted in the background into the default group.
  if (FD->FShapesGroup->LoadSource(filename, [this](const std::string& text) { SetToTxt(text); }))
    return true;
  LogWarning("map", "nothing to read in " + filename);
  return false;
}

void TVuroduDavControl::SetToGpx(const std::string& value) {
  FD->FShapesGroup->SetToGpx(value);
}
void TVuroduDavControl::SetToKml(const std::string& value) {
  FD->FShapesGroup->SetToKml(value);
}
void TVuroduDavControl::SetToGeoJSon(const std::string& value) {
  FD->FShapesGroup->SetToGeoJSon(value);
}

bool TVuroduDavControl::SaveToFile(const std::string& filename) {
  // Foreign formats hold the shapes only; the own text adds the view.
  if (ExportKindOf(filename) != ekOwn) return FD->FShapesGroup->SaveToFile(filename);
  return SaveTextToFile(filename, ToTxt());
}

std::string TVuroduDavControl::ToGpx() {
  return FD->FShapesGroup->GetToGpx();
}

std::string TVuroduDavControl::ToKml() {
  return FD->FShapesGroup->GetToKml();
}

std::string TVuroduDavControl::ToGeoJSon() {
  return FD->FShapesGroup->GetToGeoJSon();
}

// Posted by the registry's host when a group finished reading. The group
// travels as a number: it is used only while the registry still holds it.
void TVuroduDavControl::TPrivate::GroupLoaded(intptr_t group) {
  if (FDestroying) return;
  TWyShapes* loaded = nullptr;
  for (TWyShapes* g : FShapesGroup->Groups())
    if (reinterpret_cast<intptr_t>(g) == group) loaded = g;
  FOwner.RedrawMap(false);
  if (!loaded || FDestroying) return;
  Fire(FOwner.OnLoad, loaded, loaded->Name(), !FShapesGroup->isLoading());
}

}  // namespace wy
