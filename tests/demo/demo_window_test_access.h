#pragma once
// The inner parts of the demonstration window for its tests and its
// benchmark: the widgets to aim input at and to read back, the map and the
// services component, and the few handlers that are no user input (the
// countdown tick, the end of a places search, showing a place).

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "demo/address_box.h"
#include "demo/demo_window.h"
#include "demo/track_panel.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;

namespace wy {

class TFZeduZavireRozuviduTestAccess {
 public:
  using TWindow = TFZeduZavireRozuvidu;

  explicit TFZeduZavireRozuviduTestAccess(TWindow& window) : FW(window) {}

  TWyVuroduDav* map() const { return FW.map; }
  TWyGeoLocalise& geoLocalise() const { return *FW.GEoLocalise; }
  QComboBox* tileserver() const { return FW.tileserver; }
  QComboBox* adresse() const { return FW.adresse; }
  QPushButton* btGo() const { return FW.btGo; }
  QRadioButton* ckStore() const { return FW.ckStore; }
  QRadioButton* ckRestaurant() const { return FW.ckRestaurant; }
  QLineEdit* radius() const { return FW.radius; }
  QPushButton* btFindPlaces() const { return FW.btFindPlaces; }
  QPushButton* abort() const { return FW.abort; }
  QComboBox* place() const { return FW.place; }
  QTableWidget* results() const { return FW.results; }
  QPushButton* btClear() const { return FW.btClear; }
  QPushButton* btOpen() const { return FW.btOpen; }
  QPushButton* btSave() const { return FW.btSave; }
  QPushButton* btExport() const { return FW.btExport; }
  // Replaces the file dialog of "Open…", "Save…" and "Export picture…"
  // (save: true for Save and Export).
  void SetFileChooser(std::function<std::string(bool save)> chooser) const {
    FW.FChooseFile = std::move(chooser);
  }
  QLabel* status() const { return FW.status; }
  TTrackPanel* tracks() const { return FW.tracks; }
  QLabel* pointerAt() const { return FW.pointerAt; }
  QTimer* timerPlaces() const { return FW.TimerPlaces; }
  int idSelected() const { return FW.idSelected; }
  int startPlace() const { return FW.FStartPlace; }

  // The countdown's timer tick.
  void TimerPlacesTimer() const { FW.TimerPlacesTimer(); }
  // The places search's end, as its event calls it.
  void mapPlacesSearch() const { FW.mapPlacesSearch(); }
  void ShowPlace(int index) const { FW.ShowPlace(index); }

  static constexpr double kStartLatitude = TWindow::kStartLatitude;
  static constexpr double kStartLongitude = TWindow::kStartLongitude;
  static std::string IconFile(const std::string& name) { return TWindow::IconFile(name); }
  static std::string AbortCaption(uint32_t elapsed) { return TWindow::AbortCaption(elapsed); }

 private:
  TWindow& FW;
};

}  // namespace wy
