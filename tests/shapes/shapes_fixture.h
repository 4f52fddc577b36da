#pragma once
// Scaffolding for the shapes tests: a known viewport, a counting host, fake
// geo services, a white canvas, a graphic pool driven by hand and a
// registry wired to all of them.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "geo/world_info.h"
#include "graphics/canvas.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "shapes/shapes_host.h"
#include "support/image_helpers.h"
#include "tiles/graphic_pool.h"

namespace wy {
namespace shapes_test {

// Centre of the test viewport and its geometry.
constexpr double kLat = 48.85;
constexpr double kLng = 2.35;
constexpr uint8_t kZoom = 10;
constexpr int kWidth = 256;
constexpr int kHeight = 256;

// Puts the viewport of `w` x `h` pixels centred on (lat, lng) at `zoom`.
inline void SetViewport(TWyWorldInfo& world, double lat, double lng, uint8_t zoom, int w, int h) {
  world.CenterOn(lat, lng, zoom, w, h);
}

class TCountingHost : public TWyShapesHost {
 public:
  void RequestRepaint() override { ++Repaints; }
  TObject* EventSender() override { return &Sender; }
  std::atomic<int> Repaints{0};
  TObject Sender;
};

class TFakeGeo : public TWyShapeGeoServices {
 public:
  std::string ReverseGeocode(double, double) override {
    ++AddressCalls;
    return Address;
  }
  bool Elevations(const std::vector<TLatLng>& points, std::vector<double>& altitudes) override {
    ++ElevationCalls;
    if (!Succeed) return false;
    altitudes.assign(points.size(), Altitude);
    return true;
  }
  std::string Address;
  double Altitude = 0;
  bool Succeed = true;
  int AddressCalls = 0;
  int ElevationCalls = 0;
};

// The RGB of a colour (0x00BBGGRR) as a QRgb.
inline QRgb Rgb(TColor c) {
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

inline std::string DataUrl(const QImage& image) {
  return "data:image/png;base64," +
         QByteArray::fromStdString(EncodePngImage(image, true)).toBase64().toStdString();
}

// A square icon of one colour (with an opaque body and a transparent
// one-pixel frame when `framed`).
inline QImage SolidIcon(QRgb color, int size = 32, bool framed = false) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  if (framed) {
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.setPen(QColor(0, 0, 0, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, size - 1, size - 1);
  }
  return image;
}

class TShapesTest : public ::testing::Test {
 protected:
  TShapesTest() {
    SetViewport(World, kLat, kLng, kZoom, kWidth, kHeight);
    Canvas.SetSize(kWidth, kHeight);
    TThreadGraphicPool::TOptions options;
    Pool = std::make_unique<TThreadGraphicPool>(true, options);
    Registry = std::make_unique<TWyShapesGroup>(&Canvas, &Host, &World);
    Registry->UseGraphicPool(Pool.get());
  }
  ~TShapesTest() override { Registry.reset(); }

  TWyShapes* Default() { return Registry->getShapes(""); }
  TWyShapeMarker* AddMarker(double lat = kLat, double lng = kLng, const std::string& group = "") {
    return static_cast<TWyShapeMarker*>(Registry->Add(nsMarker, lat, lng, group));
  }
  // Screen pixel of a coordinate.
  QPoint Pixel(double lat, double lng) const {
    int32_t x = 0, y = 0;
    World.LatLngToXY(lat, lng, x, y);
    return QPoint(x, y);
  }
  QRgb At(int x, int y) { return Canvas.Bitmap().pixel(x, y); }
  void Paint() {
    Canvas.MutableBitmap().fill(Qt::white);
    Registry->Draw();
  }
  // Lets the pool handle every queued address.
  void Deliver() {
    while (!Pool->Queue().empty()) Pool->FetchNext();
  }

  TWyWorldInfo World;
  TWyCanvas Canvas;
  TCountingHost Host;
  TFakeGeo Geo;
  std::unique_ptr<TThreadGraphicPool> Pool;
  std::unique_ptr<TWyShapesGroup> Registry;
};

}  // namespace shapes_test
}  // namespace wy
