#include "map/map_controls.h"

#include <QFontMetrics>
#include <QPainter>
#include <QToolButton>
#include <algorithm>

#include "map/map_control.h"

namespace wy {

namespace {

constexpr int kMargin = 8;
constexpr int kButton = 26;
constexpr int kBarHeight = 22;

}  // namespace

// --- Scale bar ------------------------------------------------------------------

TScaleBarWidget::TScaleBarWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
}

void TScaleBarWidget::Update(double lat, uint8_t zoom) {
  const TScaleBar bar = ChooseScaleBar(GroundMetresPerPixel(lat, zoom), kMaxBar);
  if (bar.Pixels == FBar.Pixels && bar.Label == FBar.Label) return;
  FBar = bar;
  const int text = fontMetrics().horizontalAdvance(QString::fromStdString(FBar.Label));
  resize(std::max(FBar.Pixels, text) + 10, kBarHeight);
  update();
}

void TScaleBarWidget::paintEvent(QPaintEvent*) {
  if (FBar.Pixels <= 0) return;
  QPainter p(this);
  p.fillRect(rect(), QColor(255, 255, 255, 170));
  p.setPen(QPen(Qt::black, 1));
  const int left = 5, right = 5 + FBar.Pixels, base = height() - 4;
  p.drawLine(left, base, right, base);
  p.drawLine(left, base, left, base - 5);
  p.drawLine(right, base, right, base - 5);
  p.drawText(QRect(left + 2, 0, width() - left - 2, base - 1), Qt::AlignLeft | Qt::AlignBottom,
             QString::fromStdString(FBar.Label));
}

// --- Controls -------------------------------------------------------------------

TMapControls::TMapControls(TVuroduDavControl& map) : FMap(map) {}

TMapControls::~TMapControls() = default;

void TMapControls::SetZoomButtons(bool show) {
  if (show == ZoomButtons()) return;
  if (!show) {
    FZoomIn.reset();
    FZoomOut.reset();
    return;
  }
  auto make = [this](const QString& text, const QString& tip, int top, int step) {
    auto button = std::make_unique<QToolButton>(&FMap);
    button->setText(text);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(kMargin, top, kButton, kButton);
    QObject::connect(button.get(), &QToolButton::clicked, [this, step] {
      const int zoom = FMap.Zoom() + step;
      if (zoom >= 0) FMap.SetZoom(static_cast<uint8_t>(zoom));
    });
    button->show();
    return button;
  };
  FZoomIn = make(QStringLiteral("+"), QStringLiteral("Zoom in"), kMargin, 1);
  FZoomOut = make(QString::fromUtf8("\xE2\x88\x92"), QStringLiteral("Zoom out"),
                  kMargin + kButton + 2, -1);
  ViewChanged();
}

void TMapControls::SetScaleBar(bool show) {
  if (show == ScaleBar()) return;
  if (!show) {
    FScaleBar.reset();
    return;
  }
  FScaleBar = std::make_unique<TScaleBarWidget>(&FMap);
  FScaleBar->show();
  ViewChanged();
}

void TMapControls::ViewChanged() {
  if (FZoomIn) {
    FZoomIn->setEnabled(FMap.Zoom() < FMap.MaxZoom());
    FZoomOut->setEnabled(FMap.Zoom() > FMap.MinZoom());
  }
  if (FScaleBar) {
    FScaleBar->Update(FMap.Latitude(), FMap.Zoom());
    FScaleBar->move(kMargin, FMap.height() - kMargin - FScaleBar->height());
  }
}

}  // namespace wy
