// Info windows, polygons and editable lines on the real map widget, driven
// by Qt mouse events: the close button, links (navigation links move the
// map, other links open only when safe), the polygon's hover colour and the
// double click that adds a point to an editable line.

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "map/map_control.h"
#include "map_test_support.h"
#include "platform/open_url.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"

namespace wy {
namespace {

using maptest::TTileFixture;
namespace Pointer = maptest::Pointer;

class MapInfoLinesTest : public maptest::TMapWindowTest {
 protected:
  void SetUp() override {
    MakeMap(QSize(820, 620), QRect(10, 10, 800, 600));
    FMap->OnShapeClick = [this](TObject*, TWyShape*) { Log.push_back("ShapeClick"); };
    FMap->OnShapeDblClick = [this](TObject*, TWyShape*) { Log.push_back("ShapeDblClick"); };
    FMap->OnMapClick = [this](TVuroduDavControl*, double, double) { Log.push_back("MapClick"); };
    FMap->ShapesGroup().OnCloseInfoWindow = [this](TObject*) { Log.push_back("Close"); };
    SetUrlOpener([this](const std::string& url) {
      Opened.push_back(url);
      return true;
    });
  }
  void TearDown() override {
    TMapWindowTest::TearDown();
    SetUrlOpener(nullptr);
  }
  void Render() { FMap->RedrawMap(false); }
  // Moves the pointer there (hover), then clicks.
  void ClickAt(QPoint at) {
    Pointer::mouseMove(FMap, at);
    Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, at);
    Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, at);
  }
  TWyShapeInfoWindow* AddWindow(QPoint at, const std::string& html) {
    const TLatLng c = FMap->FromXYToLatLng(at.x(), at.y());
    TWyShapeInfoWindowList* list = FMap->Shapes()->InfoWindows();
    TWyShapeInfoWindow* w = list->Items(list->Add(c.Lat, c.Lng, html));
    Render();
    return w;
  }
  std::string Joined() const {
    std::string out;
    for (const std::string& e : Log) out += (out.empty() ? "" : ",") + e;
    return out;
  }

  std::vector<std::string> Log;
  std::vector<std::string> Opened;
};

TEST_F(MapInfoLinesTest, TheCloseButtonHidesTheWindowInsteadOfAClick) {
  TWyShapeInfoWindow* w = AddWindow(QPoint(400, 400), "Hello <b>Paris</b>");
  ASSERT_TRUE(w->Visible());
  const int right = w->Left() + w->Width();
  // Just left of the close zone: an ordinary click on the window.
  ClickAt(QPoint(right - 15, w->Top() + 14));
  EXPECT_EQ(Joined(), "ShapeClick");
  EXPECT_TRUE(w->Visible());
  Log.clear();
  ClickAt(QPoint(right - 14, w->Top() + 14));
  EXPECT_EQ(Joined(), "Close");
  EXPECT_FALSE(w->Visible());
}

TEST_F(MapInfoLinesTest, LinksMoveTheMapOrOpenOnlyWhenSafe) {
  std::vector<std::string> links;
  FMap->OnHotSpot = [&](TObject*, const std::string& url) { links.push_back(url); };
  struct Case {
    const char* href;
    bool opens;
  } cases[] = {{"http://example.org/Case/Kept", true},
               {"javascript:alert(1)", false},
               {"file:///etc/passwd", false},
               {"#12/48.85/2.35", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.href);
    FMap->Shapes()->InfoWindows()->Clear();
    FMap->SetUrl("#14/43.2/0.07");
    Opened.clear();
    links.clear();
    TWyShapeInfoWindow* w =
        AddWindow(QPoint(400, 450), std::string("<a href=\"") + c.href + "\">the link</a>");
    ASSERT_FALSE(w->HotSpots().empty());
    const TwyHotSpot& spot = w->HotSpots().front();
    ClickAt(QPoint(spot.Left() + spot.width() / 2, spot.Top() + spot.Height() / 2));
    EXPECT_EQ(links, std::vector<std::string>{c.href});
    EXPECT_EQ(Opened.size(), c.opens ? 1u : 0u);
    if (std::string(c.href)[0] == '#') {
      EXPECT_EQ(FMap->Zoom(), 12);
      EXPECT_NEAR(FMap->Latitude(), 48.85, 1e-9);
    } else {
      EXPECT_EQ(FMap->Zoom(), 14);
    }
  }
}

TEST_F(MapInfoLinesTest, HoveringAPolygonPaintsItInItsHoverColour) {
  std::vector<TLatLng> corners;
  for (QPoint p : {QPoint(300, 200), QPoint(500, 200), QPoint(500, 400), QPoint(300, 400)})
    corners.push_back(FMap->FromXYToLatLng(p.x(), p.y()));
  auto* poly = static_cast<TWyShapePolygone*>(FMap->Add(nsPolygon, corners[0].Lat, corners[0].Lng));
  for (size_t i = 1; i < corners.size(); ++i) poly->Add(corners[i].Lat, corners[i].Lng, 0);
  poly->SetOpacity(100);
  poly->SetFillColor(0x00FF0000);   // blue
  poly->SetHoverColor(0x0000FF00);  // green
  Render();
  auto centre = [&] { return FMap->ScreenShot().pixelColor(400, 300); };
  EXPECT_EQ(centre().name(), QColor(0, 0, 255).name());
  Pointer::mouseMove(FMap, QPoint(400, 300));
  ASSERT_EQ(FMap->ShapesGroup().ShapeHover(), poly);
  Render();
  EXPECT_EQ(centre().name(), QColor(0, 255, 0).name());
  Pointer::mouseMove(FMap, QPoint(100, 100));
  Render();
  EXPECT_EQ(centre().name(), QColor(0, 0, 255).name());
}

TEST_F(MapInfoLinesTest, DoubleClickOnAnEditableLineAddsAPointThere) {
  const TLatLng a = FMap->FromXYToLatLng(200, 300);
  const TLatLng b = FMap->FromXYToLatLng(600, 300);
  auto* line = static_cast<TWyShapeLine*>(FMap->Add(nsLine, a.Lat, a.Lng));
  line->Add(b.Lat, b.Lng, 0);
  line->SetEditable(true);
  Render();
  const QPoint on(400, 300);
  const TLatLng expected = FMap->FromXYToLatLng(on.x(), on.y());
  Pointer::mouseMove(FMap, on);
  ASSERT_EQ(FMap->ShapesGroup().ShapeHover(), line);
  ASSERT_EQ(line->HoverPoint(), 1);
  Pointer::mouseDClick(FMap, Qt::LeftButton, on);
  ASSERT_EQ(line->Count(), 3);
  EXPECT_NEAR(line->getPoints(1)->Lat(), expected.Lat, 1e-9);
  EXPECT_NEAR(line->getPoints(1)->Lng(), expected.Lng, 1e-9);
  EXPECT_EQ(line->getPoints(1)->Alt(), TWyShape::kNoAltitude);
  EXPECT_EQ(FMap->Zoom(), 14) << "no zoom on a shape";
  EXPECT_EQ(Joined().find("ShapeDblClick"), std::string::npos);
}

}  // namespace
}  // namespace wy
