#pragma once
// The elevation profile of a recorded track as a widget: elevation against
// distance (or time), optionally the speed; the pointer moves a cursor,
// dragging selects a range of points whose figures are shown above the
// plot. Keyboard: Left / Right move the cursor by one pixel column (with
// Shift they grow or shrink the selection from the cursor), Home / End go
// to the ends, Escape clears the selection. Drawn by TTrackProfilePainter,
// sharp on screens of any pixel density.
//
// Window thread only.

#include <QWidget>
#include <functional>

#include "graphics/track_profile_painter.h"

namespace wy {

class TTrackProfileWidget : public QWidget {
 public:
  using TNotify = std::function<void(TTrackProfileWidget* Sender)>;

  explicit TTrackProfileWidget(QWidget* parent = nullptr);

  // Replaces the track; the cursor and the selection are cleared.
  void SetTrack(const TTrack& track);
  const TTrackProfilePainter& Profile() const { return FPainter; }
  TTrackProfilePainter& Profile() { return FPainter; }

  long CursorIndex() const { return FPainter.Cursor(); }
  // Moves the cursor (-1: none) without raising OnCursor.
  void SetCursorIndex(long index);
  void SetSelection(size_t first, size_t last);
  void ClearSelection();
  void SetAxis(TProfileAxis axis);
  void SetShowSpeed(bool on);
  void SetColor(const QColor& color);

  // The cursor moved (pointer or keys); CursorIndex says where.
  TNotify OnCursor;
  // A selection was made or cleared; Profile().HasSelection() says which.
  TNotify OnSelection;

  QSize sizeHint() const override { return QSize(640, 200); }
  QSize minimumSizeHint() const override { return QSize(200, 100); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MoveCursor(long index);
  void Select(size_t a, size_t b, bool notify);

  TTrackProfilePainter FPainter;
  bool FPressed = false;
  bool FDragging = false;
  double FPressX = 0;
  long FAnchor = -1;
};

}  // namespace wy
