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
  explicit TPrivate(TVuroduDavControl& map);
  ~TPrivate();

  // The widget these parts belong to.
  TVuroduDavControl& FOwner;

  // --- Viewport changes and what follows them
  // Centres the view, then (once drawing is on) renders and tells the
  // observers and OnMapMove.
  void CenterOn(double Lat, double Lng);
  enum TViewChange : uint8_t { vcCentre, vcZoom, vcShift };
  // Every centring, zoom and drag step of the view ends here: the tiles
  // (all again, but for a drag step), the shapes' draw list and the
  // observers follow, then (once drawing is on) a render, omMapMove and
  // OnMapMove; a zoom then ends the move and raises OnChangeMapZoom.
  void ApplyView(TViewChange change);
  // After the view moved or changed size: the shapes' draw list, the
  // observers, the bounds message and the limit-box pull-back.
  void ViewChanged();
  // The view is about to show other tiles: every cell is drawn again.
  void ViewMoved();
  // One step of an animated pan.
  void StepTowards(double Lat, double Lng);
  // A drag step: the composed tiles move with the pointer and only the
  // entering tiles are drawn.
  void ShiftView(int64_t dx, int64_t dy);
  // A zoom change that keeps the point under the widget pixel in place.
  void ZoomAbout(uint8_t value, const QPoint& at);
  // The release of a map drag: the last stretch, then a full render.
  void EndMapDrag(int64_t dx, int64_t dy);
  // Observers and shapes are told the view stopped moving.
  void MoveEnded();
  void ClearTiles();
  // The base layer's source changed: its zoom range applies, every tile is
  // fetched again and the observers are told.
  void TileSourceChanged();

  // --- Rendering
  void Invalidate();
  void ResizeSurfaces();
  // The viewport takes the widget's size when it changed without an event.
  void SyncSize();
  // The zoom changed: redraw and tell, as for a centring, then the zoom.
  void ZoomApplied();
  // Composes the frame; a failure is logged and the frame given up.
  void RenderFrame();
  bool CanRender() const;
  // Shapes are drawn on top of the tiles except while a big shape set would
  // slow down a drag.
  bool DrawShapesNow() const;
  void HandleMessage(uint32_t msg, intptr_t wParam);
  // WM_MAPGROUPLOADED: renders, then raises OnLoad for the group.
  void GroupLoaded(intptr_t group);
  void HookParentForm();
  // Hands the registry's events to the map's relays (constructor).
  void InstallShapeRelays();

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
