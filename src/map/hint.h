#pragma once
// TWyHint: a small tooltip that appears after the text has been waiting for
// a second and disappears two seconds after it appeared. Its user sets the
// text and the anchor point and polls HideShow (the map's timer does). The
// window is a frameless tooltip placed with its bottom-left corner on the
// anchor, at most 200 pixels wide, in the tooltip background colour. Window
// thread only; create it after the application object and free it before.

#include <QPoint>
#include <cstdint>
#include <memory>
#include <string>

class QLabel;

namespace wy {

class TWyHint {
 public:
  static constexpr uint32_t kWaitToShowMs = 1000;
  static constexpr uint32_t kWaitToHideMs = 2000;
  static constexpr int kMaxWidth = 200;

  TWyHint();
  ~TWyHint();
  TWyHint(const TWyHint&) = delete;
  TWyHint& operator=(const TWyHint&) = delete;

  const std::string& Hint() const { return FHint; }
  // A non-empty text starts the wait before showing; an empty one hides.
  void SetHint(const std::string& value);
  // Screen point of the window's bottom-left corner.
  QPoint Position() const { return FPosition; }
  void SetPosition(const QPoint& value) { FPosition = value; }

  // Poll: hides a window shown for more than kWaitToHideMs, then shows the
  // text once it has waited more than kWaitToShowMs.
  void HideShow();
  // Shows the text now (nothing with an empty text).
  void Show();
  void Hide();

  // The window while shown, else null (tests).
  QLabel* Window() const { return FWindow.get(); }

 private:
  QPoint FPosition;
  uint32_t FWaitToShow = 0;  // tick when the text was set; 0 = nothing pending
  uint32_t FWaitToHide = 0;  // tick when shown; 0 = not shown
  std::unique_ptr<QLabel> FWindow;
  std::string FHint;
};

}  // namespace wy
