// "Open…", "Save…" and "Export picture…" of the demonstration window: maps
// in the system's own sectioned text (the view and the shapes; see the map's
// SaveToFile), the shapes alone in GPX, KML, KMZ and GeoJSON files, both
// ways, and pictures of the map in PNG, PDF and SVG files.

#include <QCheckBox>
#include <QFileDialog>
#include <QString>

#include "demo/demo_window.h"
#include "demo/track_panel.h"
#include "formats/shape_file.h"
#include "map/map_control.h"
#include "map/map_picture_file.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

const char kOpenedGroup[] = "opened";
// The extension typed chooses the format (the map's SaveToFile).
const char kSaveFilter[] =
    "Maps (*.txt);;GPX (*.gpx);;KML (*.kml);;KMZ (*.kmz);;GeoJSON (*.geojson *.json);;"
    "All files (*)";
const char kPictureFilter[] = "PNG (*.png);;PDF (*.pdf);;SVG (*.svg)";
const char kOpenFilter[] =
    "Maps and tracks (*.txt *.gpx *.kml *.kmz *.json *.geojson);;Maps (*.txt);;GPX (*.gpx);;"
    "KML (*.kml *.kmz);;GeoJSON (*.json *.geojson);;All files (*)";

}  // namespace

std::string TFZeduZavireRozuvidu::ChooseFile(bool save, bool picture) {
  if (FChooseFile) return FChooseFile(save);
  const QString name =
      picture ? QFileDialog::getSaveFileName(this, "Export a picture of the map", QString(),
                                             kPictureFilter)
      : save  ? QFileDialog::getSaveFileName(this, "Save the map", QString(), kSaveFilter)
              : QFileDialog::getOpenFileName(this, "Open a map", QString(), kOpenFilter);
  return name.toStdString();
}

void TFZeduZavireRozuvidu::btExportClick() {
  const std::string name = ChooseFile(true, true);
  if (name.empty()) return;
  std::string error;
  Report(WriteMapPicture(map->Renderer(), name, 96, error)
             ? ""
             : "Could not export the picture: " + error);
}

void TFZeduZavireRozuvidu::btSaveClick() {
  const std::string name = ChooseFile(true);
  if (name.empty()) return;
  Report(map->SaveToFile(name) ? "" : "Could not save the map to " + name);
}

// A GPX, KML or GeoJSON file holds no view: its shapes go to a group of
// their own (replacing those of the file opened before), and the view frames
// them once they arrived, so what was opened is what the user sees. A large
// track is read and converted in the background: the window keeps working.
void TFZeduZavireRozuvidu::OpenTrackFile(const std::string& name) {
  TWyShapes* opened = map->ShapesGroup().getShapes(kOpenedGroup);
  tracks->Clear();
  opened->Clear();
  FOpening = name;
  Report("Opening " + name + "…");
  opened->LoadInBackground(name);
}

void TFZeduZavireRozuvidu::mapLoad(const std::string& group) {
  if (group != kOpenedGroup || FOpening.empty()) return;
  TWyShapes* opened = map->ShapesGroup().getShapes(kOpenedGroup);
  // The end of a load replaced by a newer one: the newer one is awaited.
  if (opened->BackgroundLoading()) return;
  const std::string name = std::move(FOpening);
  FOpening.clear();
  if (!opened->LoadError().empty()) {
    Report("Could not open the map " + name);
    return;
  }
  Report("");
  tracks->ShowTracks({opened});
  map->fitShapes(opened);
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
}

void TFZeduZavireRozuvidu::btOpenClick() {
  const std::string name = ChooseFile(false);
  if (name.empty()) return;
  tracks->Clear();
  // The file's shapes are no places of a search: the places go first, and
  // a click on an opened marker shows no place.
  ClearAll();
  FStartPlace = 0;
  // A file still being opened gives way to this one.
  FOpening.clear();
  map->ShapesGroup().CancelLoading();
  if (ShapeSourceKindOf(name) != skText) {
    OpenTrackFile(name);
    return;
  }
  if (!map->LoadFromFile(name)) {
    Report("Could not open the map " + name);
    return;
  }
  Report("");
  {
    std::vector<TWyShapes*> saved;
    for (TWyShapes* group : map->ShapesGroup().Groups())
      if (group->Serialize()) saved.push_back(group);
    tracks->ShowTracks(saved);
  }
  // An opened map brings its layer switches.
  ckTraffic->setChecked(map->TrafficLayer());
  ckPhotos->setChecked(map->PanoramioLayer());
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
}

}  // namespace wy
