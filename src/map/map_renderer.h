#pragma once
// TMapRenderer: draws a map without a widget. It holds a view (TMapViewport),
// the tiles of that view, the drawing surface the shapes draw on and the
// attribution, and draws the frame onto any QPainter: an image, a widget, a
// printer, a PDF or SVG page, at any device pixel ratio.
//
// The tile layers (a base and an optional overlay) and the shape groups are
// not owned: the caller wires them and keeps them alive. Shape groups must
// be made with this renderer's Canvas() and Viewport().WorldInfo(), since
// the shapes draw on that surface in that view.
//
// Two ways to draw:
// - Compose() then Paint(): the raster frame. Compose fetches the visible
//   tiles and, when shapes are drawn, puts tiles and shapes on the surface;
//   Paint copies the frame (or draws the tiles straight) and the attribution
//   onto the painter. This is what the map widget shows.
// - PaintVector(): tiles as images, shapes, text and the attribution as
//   vectors straight onto the painter (PDF, SVG, printers).
//
// Threads: a renderer's state is its own; one renderer is used by one thread
// at a time. The tile layers it reads say which thread may use them.

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <memory>
#include <string>

#include "map/map_viewport.h"

class QPainter;

namespace wy {

class TMapTileFrame;
class TVuroduDavServer;
class TWyCanvas;
class TWyShapesGroup;
class TDisplayMapTiles;

class TMapRenderer {
 public:
  static constexpr int kTileSize = 256;

  TMapRenderer();
  ~TMapRenderer();
  TMapRenderer(const TMapRenderer&) = delete;
  TMapRenderer& operator=(const TMapRenderer&) = delete;

  TMapViewport& Viewport() { return FViewport; }
  const TMapViewport& Viewport() const { return FViewport; }
  // The surface the shapes draw on (the raster frame with shapes).
  TWyCanvas& Canvas() { return *FCanvas; }
  TDisplayMapTiles& TileGrid();

  // Not owned; null removes. The overlay's placeholders are never drawn.
  void SetTileLayers(TVuroduDavServer* base, TVuroduDavServer* overlay);
  TVuroduDavServer* BaseLayer() const { return FBase; }
  // Not owned; null draws no shapes.
  void SetShapes(TWyShapesGroup* shapes) { FShapes = shapes; }

  // The view size in drawing units and the device pixels per unit (values
  // below 1 count as 1). The tile layers get dense tiles from 1.5 on.
  void SetSize(int width, int height, qreal devicePixelRatio);
  int Width() const { return FViewport.Width(); }
  int Height() const { return FViewport.Height(); }
  qreal DevicePixelRatio() const { return FDevicePixelRatio; }
  // What shows where a tile has no image.
  static QColor PlaceholderColor();
  // Layers need this scale of tiles for a device pixel ratio.
  static int TileScaleFor(qreal devicePixelRatio);

  // The attribution (bottom right, over a light veil); empty text shows
  // none.
  void SetShowAttribution(bool value) { FShowAttribution = value; }
  bool ShowAttribution() const { return FShowAttribution; }
  // Where the attribution was last laid out (empty when it is not shown).
  QRect AttributionRect() const { return FAttributionRect; }

  // --- Tiles of the view
  // Every tile is fetched and drawn again.
  void ClearTiles();
  // The view moved by (dx, dy): the tiles already drawn stay final.
  void ShiftTiles(int64_t dx, int64_t dy);
  // A tile arrived (ok) or failed; true when it is in view and a compose
  // should draw it.
  bool TileArrived(int x, int y, bool ok);

  // Fetches the visible tiles and composes the frame, with the shapes over
  // the tiles when `withShapes` and a visible group has something to draw.
  // False (logged; the next compose tries again) when drawing failed.
  bool Compose(bool withShapes);
  int ComposeCount() const { return FComposeCount; }
  // The last compose drew shapes on the surface.
  bool FrameHasShapes() const { return FFrameHasShapes; }
  // Draws the composed frame's part within `area` (drawing units) and the
  // attribution onto the painter, whose origin is the view's top-left.
  void Paint(QPainter& painter, const QRect& area);
  // The composed frame with the attribution as an image of the device's
  // pixels (its device pixel ratio set).
  QImage Picture();
  // Fetches the tiles and draws tiles, shapes and attribution onto the
  // painter with shapes and text as vectors.
  void PaintVector(QPainter& painter);

 private:
  bool FetchTile(int64_t tx, int64_t ty, struct TTileImages& images);
  void FetchTiles();
  bool AnyShapes() const;
  void LayOutAttribution();
  void DrawShapes();

  TMapViewport FViewport;
  std::unique_ptr<TMapTileFrame> FTiles;
  std::unique_ptr<TWyCanvas> FCanvas;
  TVuroduDavServer* FBase = nullptr;
  TVuroduDavServer* FOverlay = nullptr;
  TWyShapesGroup* FShapes = nullptr;
  qreal FDevicePixelRatio = 1.0;
  bool FShowAttribution = true;
  bool FFrameHasShapes = false;
  int FComposeCount = 0;
  // The attribution, laid out once per text and ratio.
  QRect FAttributionRect;
  std::string FAttributionText;
  QImage FAttribution;
};

}  // namespace wy
