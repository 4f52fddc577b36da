#include "map/hint.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <algorithm>

#include "graphics/system_colors.h"
#include "platform/tick.h"

namespace wy {

namespace {

// A tick of 0 means "not waiting"; a real tick of 0 is moved by one.
uint32_t NonZeroTick() {
  const uint32_t now = TickCount();
  return now == 0 ? 1 : now;
}

}  // namespace

TWyHint::TWyHint() = default;

TWyHint::~TWyHint() {
  Hide();
}

void TWyHint::SetHint(const std::string& value) {
  FHint = value;
  if (!value.empty()) {
    FWaitToShow = NonZeroTick();
  } else {
    FWaitToHide = 0;
    Hide();
  }
}

void TWyHint::HideShow() {
  const uint32_t now = TickCount();
  if (FWindow && FWaitToHide != 0 && TickElapsed(now, FWaitToHide) > kWaitToHideMs) {
    Hide();
    return;
  }
  if (FWaitToShow != 0 && TickElapsed(now, FWaitToShow) > kWaitToShowMs) Show();
}

void TWyHint::Show() {
  FWindow.reset();
  if (FHint.empty()) return;
  FWaitToShow = 0;
  auto window = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
  window->setWordWrap(true);
  window->setMargin(2);
  window->setAutoFillBackground(true);
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, ToQColor(clInfoBk));
  palette.setColor(QPalette::WindowText, ToQColor(clInfoText));
  window->setPalette(palette);
  const QString text = QString::fromStdString(FHint);
  window->setText(text);
  const QRect box = QFontMetrics(window->font())
                        .boundingRect(QRect(0, 0, kMaxWidth, 100000), Qt::TextWordWrap, text);
  const int w = std::min(box.width(), kMaxWidth) + 2 * window->margin() + 2;
  const int h = box.height() + 2 * window->margin() + 2;
  window->setGeometry(FPosition.x(), FPosition.y() - h, w, h);
  FWindow = std::move(window);
  FWaitToHide = NonZeroTick();
  FWindow->show();
}

void TWyHint::Hide() {
  if (FWindow) {
    FWindow.reset();
    FWaitToShow = 0;
    FWaitToHide = 0;
  }
}

}  // namespace wy
