#pragma once
// TMapControls: the controls a person expects on a map, each shown on
// request: zoom buttons at the top left and a scale bar at the bottom left.
// They are child widgets over the map, so they are not part of its rendered
// frame (ScreenShot). The buttons take no focus: the map keeps the keys.
// Window thread only.

#include <QWidget>
#include <memory>

#include "geo/scale_bar.h"

class QToolButton;

namespace wy {

class TVuroduDavControl;

// The scale bar: a round distance as a line with end ticks and its label,
// on a pale background. Clicks go through to the map.
class TScaleBarWidget : public QWidget {
 public:
  // Longest bar in pixels.
  static constexpr int kMaxBar = 100;

  explicit TScaleBarWidget(QWidget* parent);
  // The distance for the map's centre latitude and zoom.
  void Update(double lat, uint8_t zoom);
  const TScaleBar& Bar() const { return FBar; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TScaleBar FBar;
};

class TMapControls {
 public:
  explicit TMapControls(TVuroduDavControl& map);
  ~TMapControls();

  bool ZoomButtons() const { return FZoomIn != nullptr; }
  void SetZoomButtons(bool show);
  bool ScaleBar() const { return FScaleBar != nullptr; }
  void SetScaleBar(bool show);

  // The view changed (centre, zoom or size): the bar and the buttons follow.
  void ViewChanged();

  // Inspection (tests): null while hidden.
  QToolButton* ZoomInButton() const { return FZoomIn.get(); }
  QToolButton* ZoomOutButton() const { return FZoomOut.get(); }
  TScaleBarWidget* ScaleBarWidget() const { return FScaleBar.get(); }

 private:
  TVuroduDavControl& FMap;
  std::unique_ptr<QToolButton> FZoomIn;
  std::unique_ptr<QToolButton> FZoomOut;
  std::unique_ptr<TScaleBarWidget> FScaleBar;
};

}  // namespace wy
