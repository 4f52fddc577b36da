#include "map/map_picture_file.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>

#include "map/map_renderer.h"

namespace wy {

namespace {

// Shapes and text are laid out at the screen's 96 pixels per inch, so a
// point-sized font takes as many view pixels in a file as on the screen.
constexpr int kLayoutDpi = 96;

bool Save(const QString& path, const QByteArray& bytes, std::string& error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
    return false;
  }
  return true;
}

}  // namespace

TMapPictureKind MapPictureKindOf(const std::string& path) {
  const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
  if (suffix == QLatin1String("pdf")) return mpkPdf;
  if (suffix == QLatin1String("svg")) return mpkSvg;
  return mpkPng;
}

bool WriteMapPicture(TMapRenderer& renderer, const std::string& path, double dpi,
                     std::string& error) {
  const QString name = QString::fromStdString(path);
  const int w = renderer.Width(), h = renderer.Height();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  switch (MapPictureKindOf(path)) {
    case mpkPng: {
      renderer.Compose(true);
      const QImage frame = renderer.Picture().convertToFormat(QImage::Format_RGB32);
      if (frame.isNull() || !frame.save(&buffer, "PNG")) {
        error = "cannot encode the picture of " + std::to_string(w) + " x " + std::to_string(h);
        return false;
      }
      break;
    }
    case mpkPdf: {
      if (!(dpi > 0) || !std::isfinite(dpi)) {
        error = "the resolution must be a positive number of pixels per inch";
        return false;
      }
      QPdfWriter pdf(&buffer);
      pdf.setCreator(QStringLiteral("wymap"));
      pdf.setResolution(kLayoutDpi);
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setPageSize(
          QPageSize(QSizeF(w / dpi, h / dpi), QPageSize::Inch, QString(), QPageSize::ExactMatch));
      QPainter painter;
      if (!painter.begin(&pdf)) {
        error = "cannot start a PDF page";
        return false;
      }
      painter.scale(kLayoutDpi / dpi, kLayoutDpi / dpi);
      renderer.PaintVector(painter);
      painter.end();
      break;
    }
    case mpkSvg: {
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(QSize(w, h));
      svg.setViewBox(QRect(0, 0, w, h));
      svg.setResolution(kLayoutDpi);
      svg.setTitle(QStringLiteral("map"));
      QPainter painter;
      if (!painter.begin(&svg)) {
        error = "cannot start an SVG drawing";
        return false;
      }
      renderer.PaintVector(painter);
      painter.end();
      break;
    }
  }
  buffer.close();
  return Save(name, bytes, error);
}

}  // namespace wy
