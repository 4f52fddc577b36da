#include "map/traffic_icons.h"

#include <QBuffer>
#include <QByteArray>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace wy {

namespace {

constexpr int kSize = 22;

std::string PngDataAddress(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

// A warning triangle with a white border, and a dark mark in the middle.
void DrawTriangle(QPainter& p, const QColor& fill) {
  const QPolygonF triangle({QPointF(11, 1.5), QPointF(20.5, 19.5), QPointF(1.5, 19.5)});
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(fill);
  p.drawPolygon(triangle);
}

}  // namespace

QImage DrawTrafficIcon(TTrafficIconKind kind) {
  QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  switch (kind) {
    case tikLowImpact: {
      // Road works: an orange triangle with a shovel-like bar.
      DrawTriangle(p, QColor(255, 160, 0));
      p.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7.5, 16.5), QPointF(14.5, 9));
      p.drawLine(QPointF(12.5, 16.5), QPointF(15.5, 16.5));
      break;
    }
    case tikAccident: {
      // Accident: a red-orange triangle with an exclamation mark.
      DrawTriangle(p, QColor(235, 90, 20));
      p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(11, 7.5), QPointF(11, 13));
      p.drawPoint(QPointF(11, 16.3));
      break;
    }
    case tikRoadClosed: {
      // Road closed: a red disc with a white bar.
      p.setPen(QPen(Qt::white, 1.5));
      p.setBrush(QColor(210, 20, 30));
      p.drawEllipse(QPointF(11, 11), 9.5, 9.5);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5, 9, 12, 4));
      break;
    }
    case tikSerious: {
      // Serious incident: a red octagon with an exclamation mark.
      QPolygonF octagon;
      for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
        octagon << QPointF(11 + 9.8 * std::cos(a), 11 + 9.8 * std::sin(a));
      }
      p.setPen(QPen(Qt::white, 1.5));
      p.setBrush(QColor(190, 0, 0));
      p.drawPolygon(octagon);
      p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(11, 5.5), QPointF(11, 12.5));
      p.drawPoint(QPointF(11, 16.3));
      break;
    }
  }
  return image;
}

const TrafficIcons& DrawnTrafficIcons() {
  static const TrafficIcons icons{
      PngDataAddress(DrawTrafficIcon(tikLowImpact)), PngDataAddress(DrawTrafficIcon(tikAccident)),
      PngDataAddress(DrawTrafficIcon(tikRoadClosed)), PngDataAddress(DrawTrafficIcon(tikSerious))};
  return icons;
}

}  // namespace wy
