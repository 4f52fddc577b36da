#pragma once
// TFZeduZavireRozuvidu: the demonstration window "Demo RiduzeZirudiruzire".
// A map on the left; on the right the tile server choice, the address search,
// the places search (type, distance, find, abort with a countdown), the list
// of places found with the tags of the chosen one, "Clear all places", and
// "Open…" and "Save…" for maps in the system's own format. A status line at
// the bottom reports look-ups and files that failed.
//
// The widgets keep the names the handlers refer to. Everything runs on the
// window thread; the places search runs on its own worker and reports
// through mapPlacesSearch. The address search, the "Goto" address and the
// reverse geocoding of a shown place are synchronous round trips (unless
// answered by the disk cache): the window shows a busy cursor meanwhile.

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "geo/world_info.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;
class QWidget;

namespace wy {

class TAddressBox;
class TTrackPanel;
class TObject;
class TWyGeoLocalise;
class TWyShape;
class TWyShapeMarker;
class TWyVuroduDav;

class TFZeduZavireRozuvidu : public QMainWindow {
 public:
  // localCache: the disk cache folder of the tiles and the services; empty
  // for none.
  explicit TFZeduZavireRozuvidu(const std::string& localCache, QWidget* parent = nullptr);
  ~TFZeduZavireRozuvidu() override;

  // Full renders the map has made so far (start-up measurements wait for
  // the first).
  int MapRenderCount() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The tests and the benchmark reach the widgets and handlers through it.
  friend class TFZeduZavireRozuviduTestAccess;

  // Largest search distance in metres "Find places" accepts; the smallest
  // is 1.
  static constexpr int kMaxRadius = 50000;
  // A places search still running after this many whole seconds is aborted.
  static constexpr uint32_t kMaxSearchSeconds = 40;
  static constexpr double kStartLatitude = 43.21393394842017;
  static constexpr double kStartLongitude = 0.10771751403808594;

  // --- Handlers (bound to the widgets)
  void Panel1Resize();
  void Panel4Resize();
  void tileserverClick();
  void adresseClick(int index);
  // Enter in the address field.
  void AdresseKeyPress();
  void btGoClick();
  // A coordinate pair typed in the address box: the map goes there with
  // the pin, no geocoder asked. False when the text is no such pair.
  bool GoToTypedCoordinates(const std::string& text);
  void radiusChange();
  void btFindPlacesClick();
  void abortClick();
  void TimerPlacesTimer();
  void mapPlacesSearch();
  void placeClick(int index);
  void btClearClick();
  // "Open…": the places go, the map takes the file's view and shapes, and
  // the pin and its area move to the new centre (demo_window_files.cpp).
  void btOpenClick();
  void OpenTrackFile(const std::string& name);
  // A group finished loading: an opened track file is framed, or its
  // failure reported.
  void mapLoad(const std::string& group);
  // "Save…": the view and the shapes the window did not make itself (the
  // pin, the selection, the area and the details window are left out).
  void btSaveClick();
  // "Export picture…": the map as the person sees it, in a PNG, PDF or SVG
  // file by the extension chosen.
  void btExportClick();
  // The file "Open…", "Save…" or "Export picture…" works on: FChooseFile
  // when set (tests), otherwise the desktop's file dialog; "" when the
  // person cancels.
  std::string ChooseFile(bool save, bool picture = false);
  void mapMapClick(double dLatitude, double dLongitude);
  void mapShapeDragEnd();
  void mapShapeClick(TWyShape* item);
  // The place of the places search's results at `index` (-1: nothing).
  void ShowPlace(int index);

  // The full address of a marker icon: the "demo.icon-base" setting + "/" +
  // name.
  static std::string IconFile(const std::string& name);
  // The search distance "Find places" accepts: 1 .. kMaxRadius metres from
  // digits only; -1 otherwise (empty, 0, too large, not digits).
  static int SearchRadius(const std::string& text);
  // The caption of the abort button after `elapsed` whole seconds: never
  // below 0 whatever the tick says.
  static std::string AbortCaption(uint32_t elapsed);

  // The marker of the place at `index` of the results; null when the place
  // has none (its marker could not be added).
  TWyShapeMarker* PlaceMarker(int index) const;

  void FormCreate(const std::string& localCache);
  void BuildControls();
  // The pin and the hidden selection marker at `at`, the hidden info window.
  void InitMarkers(const TLatLng& at);
  // The search area around the pin: DrawRadius for the distance typed,
  // DrawArea for `metres`.
  void DrawRadius();
  void DrawArea(double metres);
  void ClearAll();
  void ClearPlaceDetails();
  // The tags grid with one empty row under its header.
  void ClearGrid();
  // The address list: the display names of the last address search; the
  // typed text stays in the edit part.
  void ShowAddressList();
  // The status line: "" clears it.
  void Report(const std::string& text);
  // Find places is offered for a valid distance while no search runs.
  void UpdateFindEnabled();
  // The result index a place list item stands for; -1 for none.
  int PlaceOfItem(int item) const;

  // --- Components (owned by the window)
  QWidget* Panel1 = nullptr;
  QWidget* Panel2 = nullptr;
  QWidget* Panel3 = nullptr;
  QWidget* Panel4 = nullptr;
  QWidget* Panel5 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QComboBox* tileserver = nullptr;
  TAddressBox* adresse = nullptr;
  QPushButton* btGo = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* ckStore = nullptr;
  QRadioButton* ckRestaurant = nullptr;
  QPushButton* btFindPlaces = nullptr;
  QLineEdit* radius = nullptr;
  QPushButton* abort = nullptr;
  QComboBox* place = nullptr;
  QTableWidget* results = nullptr;
  QPushButton* btClear = nullptr;
  // The map's traffic and photo layers.
  QCheckBox* ckTraffic = nullptr;
  QCheckBox* ckPhotos = nullptr;
  QWidget* Panel6 = nullptr;
  QPushButton* btOpen = nullptr;
  QPushButton* btSave = nullptr;
  QPushButton* btExport = nullptr;
  std::function<std::string(bool save)> FChooseFile;
  QLabel* status = nullptr;
  // The coordinate under the pointer, at the right of the status line.
  QLabel* pointerAt = nullptr;
  QTimer* TimerPlaces = nullptr;
  TWyVuroduDav* map = nullptr;
  // The opened file's tracks, under the map (hidden without one).
  TTrackPanel* tracks = nullptr;
  std::unique_ptr<TWyGeoLocalise> GEoLocalise;
  int FStartPlace = 0;
  // The track file being opened in the background ("" when none).
  std::string FOpening;
  // The search area drawn last (it goes when a new one is drawn) and
  // whether it still exists.
  TWyShape* FArea = nullptr;
  std::weak_ptr<char> FAreaLife;
  int idSelected = -1;
  // Where the last places search ran: its centre and distance in metres.
  TLatLng FSearchCentre;
  int FSearchMetres = 0;
};

}  // namespace wy
