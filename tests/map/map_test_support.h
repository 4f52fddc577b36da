#pragma once
// A loopback tile server for map tests: every tile (x, y) is a solid PNG of
// TileColor(x, y), or a request that hangs until released.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "geo/settings.h"
#include "map/map_control.h"
#include "platform/window_thread.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "support/test_helpers.h"

namespace wy {
namespace maptest {

inline QRgb TileColor(int x, int y) {
  return qRgb((x * 53 + 17) % 256, (y * 71 + 29) % 256, ((x + y) * 31 + 101) % 256);
}

class TTileFixture {
 public:
  explicit TTileFixture(bool hang = false) {
    FServer.HandleRegex(R"(/osm/(\d+)/(\d+)/(\d+)\.png)",
                        [this, hang](const TFixtureRequest& request, httplib::Response& response) {
                          if (hang) FServer.WaitRelease("tiles", 20000);
                          const int x = std::stoi(request.Captures.at(1));
                          const int y = std::stoi(request.Captures.at(2));
                          response.set_content(SolidPng(TileColor(x, y)), "image/png");
                        });
    if (hang) FServer.Hold("tiles");
    SetEndpoint("osm", FServer.Url("/osm/{z}/{x}/{y}.png"));
  }
  ~TTileFixture() {
    FServer.ReleaseAll();
    ResetSettings();
  }
  TFixtureServer& Server() { return FServer; }

 private:
  TFixtureServer FServer;
};

using test_support::PumpUntil;

// Mouse events as the window system delivers them to the widget, with the
// held buttons tracked across calls.
namespace Pointer {

inline Qt::MouseButtons gHeld;

inline void Send(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at) {
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, gHeld, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}
inline void mousePress(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers, QPoint at) {
  gHeld |= button;
  Send(w, QEvent::MouseButtonPress, button, at);
}
inline void mouseRelease(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers, QPoint at) {
  gHeld &= ~Qt::MouseButtons(button);
  Send(w, QEvent::MouseButtonRelease, button, at);
}
inline void mouseMove(QWidget* w, QPoint at) {
  Send(w, QEvent::MouseMove, Qt::NoButton, at);
}

// A double click as Qt reports it: press, release, double click, release.
inline void mouseDClick(QWidget* w, Qt::MouseButton button, QPoint at) {
  mousePress(w, button, Qt::NoModifier, at);
  mouseRelease(w, button, Qt::NoModifier, at);
  gHeld |= button;
  Send(w, QEvent::MouseButtonDblClick, button, at);
  mouseRelease(w, button, Qt::NoModifier, at);
}

}  // namespace Pointer

// The widget a person's keys go to (`fallback` when none has the focus,
// which fails the test), and a key typed there.
inline QWidget* FocusWidget(QWidget* fallback) {
  QWidget* focus = QApplication::focusWidget();
  EXPECT_NE(focus, nullptr);
  return focus ? focus : fallback;
}
inline void KeyToFocus(QWidget* fallback, Qt::Key key,
                       Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(FocusWidget(fallback), key, modifiers);
}

// A map inside a top-level window, over the loopback tile server. The
// window goes (and with it the map) after each test.
class TMapWindowTest : public ::testing::Test {
 protected:
  // A window of the given size holding the map at `geometry`, shown unless
  // asked otherwise (child resizes are synchronous once shown).
  TWyVuroduDav& MakeMap(QSize window, QRect geometry, bool show = true) {
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(window);
    FMap = new TWyVuroduDav(FWindow.get());
    FMap->setGeometry(geometry);
    if (show) FWindow->show();
    return *FMap;
  }
  // A map filling a window of w x h.
  TWyVuroduDav& MakeMap(int w, int h, bool show = true) {
    return MakeMap(QSize(w, h), QRect(0, 0, w, h), show);
  }
  void TearDown() override {
    FWindow.reset();
    Pointer::gHeld = Qt::NoButton;
  }

  TTileFixture FTiles;
  std::unique_ptr<QWidget> FWindow;
  TWyVuroduDav* FMap = nullptr;  // owned by FWindow
};

}  // namespace maptest
}  // namespace wy
