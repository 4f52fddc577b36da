#include "graphics/track_profile_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace wy {

namespace {
constexpr double kDragStart = 3;  // pixels before a press becomes a drag
}

TTrackProfileWidget::TTrackProfileWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName("Elevation profile");
}

void TTrackProfileWidget::SetTrack(const TTrack& track) {
  FPainter.SetTrack(track);
  FPressed = FDragging = false;
  FAnchor = -1;
  update();
}

void TTrackProfileWidget::SetCursorIndex(long index) {
  FPainter.SetCursor(index);
  update();
}

void TTrackProfileWidget::SetSelection(size_t first, size_t last) {
  FPainter.SetSelection(first, last);
  update();
}

void TTrackProfileWidget::ClearSelection() {
  FPainter.ClearSelection();
  update();
}

void TTrackProfileWidget::SetAxis(TProfileAxis axis) {
  FPainter.SetAxis(axis);
  update();
}

void TTrackProfileWidget::SetShowSpeed(bool on) {
  FPainter.SetShowSpeed(on);
  update();
}

void TTrackProfileWidget::SetColor(const QColor& color) {
  FPainter.SetColor(color);
  update();
}

void TTrackProfileWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FPainter.Paint(painter, rect(), devicePixelRatioF());
}

void TTrackProfileWidget::MoveCursor(long index) {
  if (FPainter.Count() == 0) return;
  index = std::clamp<long>(index, 0, static_cast<long>(FPainter.Count()) - 1);
  if (index == FPainter.Cursor()) return;
  FPainter.SetCursor(index);
  update();
  if (OnCursor) OnCursor(this);
}

void TTrackProfileWidget::Select(size_t a, size_t b, bool notify) {
  FPainter.SetSelection(std::min(a, b), std::max(a, b));
  update();
  if (notify && OnSelection) OnSelection(this);
}

void TTrackProfileWidget::mouseMoveEvent(QMouseEvent* event) {
  const double x = event->position().x();
  const long index = FPainter.IndexAtX(x);
  if (index < 0) return;
  if (FPressed && !FDragging && std::fabs(x - FPressX) >= kDragStart) FDragging = true;
  if (FDragging && FAnchor >= 0)
    Select(static_cast<size_t>(FAnchor), static_cast<size_t>(index), false);
  MoveCursor(index);
}

void TTrackProfileWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  FPressed = true;
  FDragging = false;
  FPressX = event->position().x();
  FAnchor = FPainter.IndexAtX(FPressX);
  MoveCursor(FAnchor);
}

void TTrackProfileWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FPressed) return;
  FPressed = false;
  if (FDragging) {
    FDragging = false;
    const long index = FPainter.IndexAtX(event->position().x());
    if (FAnchor >= 0 && index >= 0)
      Select(static_cast<size_t>(FAnchor), static_cast<size_t>(index), true);
  } else if (FPainter.HasSelection()) {
    FPainter.ClearSelection();
    update();
    if (OnSelection) OnSelection(this);
  }
}

void TTrackProfileWidget::keyPressEvent(QKeyEvent* event) {
  if (FPainter.Count() == 0) return QWidget::keyPressEvent(event);
  const long last = static_cast<long>(FPainter.Count()) - 1;
  const long step = static_cast<long>(FPainter.PointsPerColumn());
  const long cursor = FPainter.Cursor();
  long target = cursor;
  switch (event->key()) {
    case Qt::Key_Left:
      target = cursor < 0 ? 0 : cursor - step;
      break;
    case Qt::Key_Right:
      target = cursor < 0 ? 0 : cursor + step;
      break;
    case Qt::Key_Home:
      target = 0;
      break;
    case Qt::Key_End:
      target = last;
      break;
    case Qt::Key_Escape:
      if (FPainter.HasSelection()) {
        FPainter.ClearSelection();
        update();
        if (OnSelection) OnSelection(this);
      }
      return;
    default:
      return QWidget::keyPressEvent(event);
  }
  target = std::clamp<long>(target, 0, last);
  if (event->modifiers() & Qt::ShiftModifier) {
    // Grow or shrink the selection from where the cursor was.
    const size_t from =
        FPainter.HasSelection()
            ? (static_cast<size_t>(std::max<long>(cursor, 0)) == FPainter.SelectionFirst()
                   ? FPainter.SelectionLast()
                   : FPainter.SelectionFirst())
            : static_cast<size_t>(std::max<long>(cursor, 0));
    Select(from, static_cast<size_t>(target), true);
  }
  MoveCursor(target);
}

}  // namespace wy
