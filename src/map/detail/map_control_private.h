#pragma once
// The map widget's parts and state, out of its public header: the renderer
// with the viewport, the repaint scheduler, the input handler, the on-map
// controls, the tile layers, the shapes registry, the layers and the
// options. Members are destroyed in reverse order of declaration after the
// widget's destructor has stopped what runs (see map_control.cpp).

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "map/map_control.h"

namespace wy {

struct TVuroduDavControl::TPrivate {
  TPrivate();
  ~TPrivate();

  // Draws the map: the view, its tiles, the shapes' surface.
  std::unique_ptr<TMapRenderer> FRenderer;
  TMapViewport& FViewport;
  std::unique_ptr<TRepaintScheduler> FRepaint;
  std::unique_ptr<TInputTarget> FInputTarget;
  std::unique_ptr<TMapInputHandler> FInput;
  std::unique_ptr<TMapControls> FControls;

  // Options
  bool FDraggable = true;
  bool FDblClickZoom = true;
  bool FMouseWheelZoom = true;
  bool FZoomAtPointer = false;
  bool FAntiFreezeOnLoad = true;
  bool FShowCopyrightTile = true;
  // The top-level window whose wheel events the map watches.
  QPointer<QWidget> FParentForm;

  // Rendering state
  bool FLoaded = false;  // shown once: drawing and the timer are on
  bool FDraw = false;
  bool FDestroying = false;
  bool inPaint = false;
  bool Valide_Map = false;
  int FRenderCount = 0;
  // ScreenShot's composition of the frame and the attribution, and the
  // render it shows.
  QImage FScreenShot;
  int FScreenShotRender = -1;

  std::vector<TVuroduDavObserver*> FObservers;

  // Owned services, destroyed in this order by the destructor.
  std::unique_ptr<TMessageMailbox> FMailbox;
  std::unique_ptr<TThreadedTimer> FThreadedTimer;
  std::unique_ptr<TVuroduDavServer> FMapServer;
  std::unique_ptr<TVuroduDavServer> FOverlayServer;
  std::unique_ptr<TShapesHost> FShapesHost;
  std::unique_ptr<TWyShapesGroup> FShapesGroup;

  // Map-level operations
  TWyGeoLocalise* FGeoLocalise = nullptr;
  // The component as the shapes see it; replaced with the component.
  std::unique_ptr<TWyGeoServicesAdapter> FGeoAdapter;
  bool FTraffic = false;
  bool FPanoramio = false;
  std::unique_ptr<TWyTrafficLayer> FTrafficLayer;
  std::unique_ptr<TWyNativePanoramioLayer> FNativePanoramioLayer;
  // Cleared by the destructor: queued routes delivered later find the map
  // gone.
  std::shared_ptr<bool> FRoutesAlive = std::make_shared<bool>(true);
};

}  // namespace wy
