// Info windows: height from the content, the close zone, hot spots, the
// close button's colour, content images with their placeholders (and no
// repaints once they settled), untrusted image addresses, and the hint.

#include "shapes/shape_info_window.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <fstream>

#include "graphics/html_text.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes_fixture.h"
#include "support/test_helpers.h"

namespace wy {
namespace shapes_test {
namespace {

class InfoWindowTest : public TShapesTest {
 protected:
  // A window whose point is the control pixel (128, 220).
  TWyShapeInfoWindow* AddWindow(const std::string& html) {
    double lat = 0, lng = 0;
    World.XYToLatLng(128, 220, lat, lng);
    TWyShapeInfoWindowList* list = Default()->InfoWindows();
    return list->Items(list->Add(lat, lng, html));
  }
  // Line height of the body text (8 points at 96 dpi).
  static int LineHeight() {
    QFont font;
    SetFontPointSize(font, 8, 96);
    return QFontMetrics(font).height();
  }
  // Pixels of the window's box with all channels below `level`.
  int DarkPixels(int l, int t, int r, int b, int level = 100) {
    int n = 0;
    for (int y = std::max(t, 0); y < std::min(b, kHeight); ++y)
      for (int x = std::max(l, 0); x < std::min(r, kWidth); ++x) {
        const QRgb c = At(x, y);
        if (qRed(c) < level && qGreen(c) < level && qBlue(c) < level) ++n;
      }
    return n;
  }
  int CountColor(const TWyShape* s, QRgb color) {
    int n = 0;
    for (int y = std::max(s->Top(), 0); y < std::min(s->Top() + s->Height(), kHeight); ++y)
      for (int x = std::max(s->Left(), 0); x < std::min(s->Left() + s->Width(), kWidth); ++x)
        if (At(x, y) == color) ++n;
    return n;
  }
};

TEST_F(InfoWindowTest, HeightFollowsTheContentWhateverHeightWasSet) {
  struct Row {
    const char* html;
    int lines;
  };
  const int lh = LineHeight();
  for (const Row& row : {Row{"", 0}, Row{"Hello", 1}, Row{"one\ntwo<br>three", 3}}) {
    for (bool close : {true, false}) {
      TWyShapeInfoWindow* w = AddWindow(row.html);
      w->SetCloseButton(close);
      w->SetHeight(400);
      w->SetXAnchor(6);
      w->SetYAnchor(-10);
      Paint();
      const int expected = row.lines * lh + 30 + (close ? 20 : 0);
      EXPECT_EQ(w->Height(), expected) << row.html << " close " << close;
      EXPECT_EQ(w->Width(), 180);
      EXPECT_EQ(w->Left(), 128 + 6 - 90);
      EXPECT_EQ(w->Top(), 220 - 10 - expected);
      // The body colour inside, the tip below the box.
      EXPECT_EQ(At(w->Left() + 30, w->Top() + expected - 4), qRgb(255, 255, 255));
      int tip = 0;  // outline pixels of the tip below the box, down to its apex
      for (int y = 220 - 10; y <= 220 - 10 + 6; ++y) tip += At(128 + 6, y) != qRgb(255, 255, 255);
      EXPECT_GT(tip, 0) << "tip";
      EXPECT_EQ(At(128 + 6, 220 - 10 + 8), qRgb(255, 255, 255)) << "below the tip";
      w->Remove();
    }
  }
}

TEST_F(InfoWindowTest, ContentIsDrawnInsideTheBoxBelowTheCloseButton) {
  TWyShapeInfoWindow* w = AddWindow("<b>Hyperion gypsy</b><br><h1>Big</h1>jumpy");
  Paint();
  const int l = w->Left(), t = w->Top(), r = l + w->Width(), b = t + w->Height();
  // Text pixels exist, and none of them lies above the box or over the
  // close button's line.
  EXPECT_GT(DarkPixels(l, t + 20, r - 20, b), 50);
  EXPECT_EQ(DarkPixels(l + 1, 0, r - 1, t), 0);
  EXPECT_EQ(DarkPixels(l + 1, t + 1, r - 20, t + 18), 0);
  EXPECT_EQ(DarkPixels(l + 1, b - 4, r - 1, b + 8), 0);
}

TEST_F(InfoWindowTest, NarrowWindowsAndHostileContentStillLayOutAndDraw) {
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "<b><i><font size=9>";
  nested += "deep";
  struct Row {
    int width;
    std::string html;
  };
  const Row rows[] = {
      {0, "some words here"},
      {3, "some words here"},
      {14, "<img src=\"data:image/png;base64,AAAA\"> words"},
      {180, "<font size=99999999>huge</font> text"},
      {180, nested},
  };
  for (const Row& row : rows) {
    TWyShapeInfoWindow* w = AddWindow(row.html);
    w->SetWidth(row.width);
    Paint();
    EXPECT_GE(w->Height(), 50) << row.width;
    EXPECT_LT(w->Height(), 100000) << row.width;
    w->Remove();
  }
}

TEST_F(InfoWindowTest, CloseZoneHidesTheWindowAndRaisesTheRegistryEvent) {
  struct Row {
    int dx, dy;  // from (Left + Width, Top)
    bool closeButton;
    bool handled;
  };
  const Row rows[] = {
      {-14, 14, true, true}, {-15, 14, true, false},  {-14, 15, true, false}, {0, 0, true, true},
      {-1, 1, true, true},   {-14, 14, false, false}, {1, 5, true, false},    {-5, -1, true, false},
  };
  for (const Row& row : rows) {
    TWyShapeInfoWindow* w = AddWindow("x");
    w->SetCloseButton(row.closeButton);
    Paint();
    std::vector<TObject*> closed;
    Registry->OnCloseInfoWindow = [&](TObject* sender) { closed.push_back(sender); };
    const int x = w->Left() + w->Width() + row.dx;
    const int y = w->Top() + row.dy;
    EXPECT_EQ(Registry->HandledClick(w, x, y), row.handled) << row.dx << "," << row.dy;
    EXPECT_EQ(w->Visible(), !row.handled);
    EXPECT_EQ(closed, row.handled ? std::vector<TObject*>{w} : std::vector<TObject*>{});
    Registry->OnCloseInfoWindow = nullptr;
    w->Remove();
  }
}

TEST_F(InfoWindowTest, CloseHandlerMayFreeTheWindow) {
  TWyShapeInfoWindow* w = AddWindow("x");
  Paint();
  Registry->OnCloseInfoWindow = [&](TObject* sender) {
    static_cast<TWyShapeInfoWindow*>(sender)->Remove();
  };
  EXPECT_TRUE(Registry->HandledClick(w, w->Left() + w->Width() - 5, w->Top() + 5));
  EXPECT_EQ(Default()->InfoWindows()->Count(), 0);
}

TEST_F(InfoWindowTest, LinkBecomesAHotSpotThatReportsItsAddressAsWritten) {
  const std::string url = "https://Example.org/Places/Bakery_12?ref=Map#Top";
  TWyShapeInfoWindow* w = AddWindow("Visit <a href=\"" + url + "\">the bakery</a> now");
  Paint();
  ASSERT_EQ(w->HotSpots().size(), 1u);
  const TwyHotSpot& spot = w->HotSpots()[0];
  EXPECT_EQ(spot.Url(), url);
  // In control pixels, inside the box.
  EXPECT_GE(spot.Left(), w->Left());
  EXPECT_LE(spot.Left() + spot.width(), w->Left() + w->Width());
  EXPECT_GE(spot.Top(), w->Top());
  EXPECT_LE(spot.Top() + spot.Height(), w->Top() + w->Height());
  EXPECT_GT(spot.width(), 10);

  std::vector<std::pair<TObject*, std::string>> events;
  Registry->OnHotSpot = [&](TObject* sender, const std::string& u) {
    events.emplace_back(sender, u);
  };
  const int cx = spot.Left() + spot.width() / 2, cy = spot.Top() + spot.Height() / 2;
  EXPECT_TRUE(w->isHit(cx, cy));
  EXPECT_EQ(w->HitHotSpot(), 0);
  EXPECT_TRUE(Registry->HandledClick(w, cx, cy));
  EXPECT_FALSE(Registry->HandledClick(w, spot.Left() - 1, cy));
  EXPECT_FALSE(w->isHit(spot.Left() - 1, cy));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, w);
  EXPECT_EQ(events[0].second, url);
  EXPECT_TRUE(w->Visible());

  // A link whose text wraps gives one hot spot per piece, all the same address.
  w->SetContent("<a href=\"u\">one two three four five six seven eight nine ten eleven</a>");
  Paint();
  EXPECT_GE(w->HotSpots().size(), 2u);
  for (const TwyHotSpot& piece : w->HotSpots()) EXPECT_EQ(piece.Url(), "u");
}

TEST_F(InfoWindowTest, HotSpotsAreTestedFromTheLastToTheFirstWithEveryEdgeIncluded) {
  TWyShapeInfoWindow* w = AddWindow("");
  w->SetCloseButton(false);
  Paint();
  w->ClearHotSpots();
  w->AddHotSpot(10, 10, 20, 10, "first");
  w->AddHotSpot(25, 15, 20, 10, "second");
  std::string got;
  Registry->OnHotSpot = [&](TObject*, const std::string& u) { got = u; };
  struct Row {
    int x, y;
    const char* url;
  };
  for (const Row& row :
       {Row{27, 17, "second"}, Row{12, 12, "first"}, Row{10, 10, "first"}, Row{30, 20, "second"},
        Row{45, 25, "second"}, Row{46, 25, ""}, Row{9, 10, ""}}) {
    got.clear();
    EXPECT_EQ(w->HandleClick(row.x, row.y), *row.url != '\0') << row.x << "," << row.y;
    EXPECT_EQ(got, row.url);
  }
}

TEST_F(InfoWindowTest, CloseButtonDarkensUnderThePointerAndOnlyFlipsAskForRepaints) {
  TWyShapeInfoWindow* w = AddWindow("x");
  Paint();
  const int r = w->Left() + w->Width(), t = w->Top();
  const QPoint onButton(r - 6, t + 6);
  EXPECT_EQ(DarkPixels(r - 14, t + 1, r - 1, t + 17), 0);

  ASSERT_EQ(Registry->ShapeByHover(onButton.x(), onButton.y()), w);
  EXPECT_TRUE(w->HitCloseButton());
  Paint();
  EXPECT_GT(DarkPixels(r - 14, t + 1, r - 1, t + 17), 3);

  // The same answer again changes nothing; each flip asks once.
  int before = Host.Repaints;
  w->isHit(onButton.x() + 1, onButton.y());
  EXPECT_EQ(Host.Repaints, before);
  w->isHit(w->Left() + 20, w->Top() + 30);  // inside, on nothing active
  EXPECT_EQ(Host.Repaints, before + 1);
  w->isHit(w->Left() + 21, w->Top() + 30);
  EXPECT_EQ(Host.Repaints, before + 1);
  Paint();
  EXPECT_EQ(DarkPixels(r - 14, t + 1, r - 1, t + 17), 0);
}

TEST_F(InfoWindowTest, ImagePlaceholderComesAndGoesAndTheWindowSettles) {
  const QRgb green = qRgb(0, 160, 0);
  const std::string src = DataUrl(SolidIcon(green, 24));
  TWyShapeInfoWindow* w = AddWindow("Look: <img src=\"" + src + "\"> done");
  TWyShapes* aux = w->Shapes();
  ASSERT_EQ(aux, Registry->getShapes("_infowindow_" + std::to_string(w->Id())));
  for (int i = 0; i < 3; ++i) Paint();
  ASSERT_EQ(aux->Markers()->Count(), 1);
  const TWyShapeMarker* holder = aux->Markers()->Items(0);
  EXPECT_EQ(holder->Filename(), src);
  EXPECT_FALSE(holder->WaitAnimation());
  EXPECT_EQ(Pool->Queue(), std::vector<std::string>{src});
  EXPECT_EQ(CountColor(w, green), 0);
  // While the image loads, painting again asks for nothing more.
  int before = Host.Repaints;
  Paint();
  Paint();
  EXPECT_EQ(Host.Repaints, before);

  Deliver();
  EXPECT_GT(Host.Repaints, before);  // the pool's news
  Paint();                           // the image is drawn, the placeholder goes
  EXPECT_EQ(aux->Markers()->Count(), 0);
  EXPECT_EQ(CountColor(w, green), 24 * 24);
  // Settled: further paints ask for no repaint.
  Paint();
  before = Host.Repaints;
  for (int i = 0; i < 5; ++i) Paint();
  EXPECT_EQ(Host.Repaints, before);
  EXPECT_EQ(CountColor(w, green), 24 * 24);

  // The size query gives the image's own size for the sides not given.
  const QImage* gfx = nullptr;
  int l = 0, h = 0;
  w->DoGetDrawGraphic(src, gfx, -1, -1, l, h);
  ASSERT_NE(gfx, nullptr);
  EXPECT_EQ(l, 24);
  EXPECT_EQ(h, 24);
}

TEST_F(InfoWindowTest, HidingOrFreeingTheWindowTakesItsPlaceholdersAlong) {
  for (bool free : {false, true}) {
    const std::string src = "https://tiles.invalid/pending-" + std::to_string(free) + ".png";
    TWyShapeInfoWindow* w = AddWindow("<img src=\"" + src + "\" width=40 height=40>");
    TWyShapes* aux = w->Shapes();
    Paint();
    ASSERT_EQ(aux->Markers()->Count(), 1);
    const TWyShapeMarker* holder = aux->Markers()->Items(0);
    const QPoint p = Pixel(holder->Latitude(), holder->Longitude());
    if (free) {
      w->Remove();
      // Nothing under the pointer refers to the freed window.
      EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 10), nullptr);
    } else {
      // Hovering the placeholder is hovering the window.
      EXPECT_EQ(Registry->ShapeByHover(p.x(), p.y() - 10), w);
      w->SetVisible(false);
    }
    EXPECT_EQ(aux->Markers()->Count(), 0) << free;
    Paint();
    if (!free) w->Remove();
  }
}

TEST_F(InfoWindowTest, OnlyWebAndDataImagesReachTheGraphicPool) {
  test_support::TScratchDir dir;
  const std::string file = dir.Sub("secret.png");
  {
    std::ofstream out(file, std::ios::binary);
    out << EncodePngImage(SolidIcon(qRgb(200, 0, 200), 24));
  }
  struct Row {
    std::string src;
    bool loads;
  };
  const Row rows[] = {
      {file, false},
      {"file://" + file, false},
      {"secret.png", false},
      {"../" + file.substr(1), false},
      {"ftp://host/a.png", false},
      {"javascript:alert(1)", false},
      {"", false},
      {"http://127.0.0.1:9/a.png", true},
      {"HTTPS://host.invalid/B.png", true},
      {DataUrl(SolidIcon(qRgb(1, 2, 3), 8)), true},
  };
  for (const Row& row : rows) {
    TWyShapeInfoWindow* w = AddWindow("<img src=\"" + row.src + "\">");
    Paint();
    Paint();
    EXPECT_EQ(Pool->Queue(),
              row.loads ? std::vector<std::string>{row.src} : std::vector<std::string>{})
        << row.src;
    EXPECT_EQ(w->Shapes()->Markers()->Count(), row.loads ? 1 : 0) << row.src;
    if (!row.loads) {
      Deliver();
      Paint();
      EXPECT_EQ(CountColor(w, qRgb(200, 0, 200)), 0) << row.src;
    }
    w->Remove();
    Pool->Clear();
  }
}

TEST_F(InfoWindowTest, AuxiliaryGroupStaysTenAboveTheWindow) {
  TWyShapeInfoWindow* w = AddWindow("");
  EXPECT_EQ(w->Shapes()->Zindex(), 10);
  w->SetZIndex(35);
  EXPECT_EQ(w->Shapes()->Zindex(), 45);
  w->SetContentFlags(ckqAlignRight | ckqFixedLineHeight);
  EXPECT_FALSE(w->ContentCenter());
  w->SetContentCenter(false);
  EXPECT_EQ(w->ContentFlags(), 0u);
}

TEST_F(InfoWindowTest, HintShowsTheShapesTextCentredAboveIt) {
  double lat = 0, lng = 0;
  World.XYToLatLng(128, 200, lat, lng);
  auto* poi = static_cast<TWyShapePOI*>(Registry->Add(nsPoi, lat, lng));
  poi->SetHint("Mill");
  Paint();
  ASSERT_EQ(Registry->ShapeByHover(128, 200), poi);
  TWyShapeInfoWindow* hint = Registry->HintWindow();
  ASSERT_TRUE(hint->Visible());
  Paint();
  EXPECT_EQ(hint->Height(), LineHeight() + 30);
  // Its bottom (the tip's base) stands the POI's height + 10 above the point.
  EXPECT_EQ(hint->Top() + hint->Height(), 200 - 32 - 10);
  EXPECT_EQ(hint->Left() + hint->Width() / 2, 128);
  // The text: dark pixels, centred within a few pixels, inside the box.
  int n = 0, sumX = 0, minY = 1 << 30, maxY = -1;
  for (int y = hint->Top() + 1; y < hint->Top() + hint->Height() - 1; ++y)
    for (int x = hint->Left() + 1; x < hint->Left() + hint->Width() - 1; ++x) {
      const QRgb c = At(x, y);
      if (qRed(c) < 120 && qGreen(c) < 120 && qBlue(c) < 120) {
        ++n;
        sumX += x;
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
    }
  ASSERT_GT(n, 10);
  EXPECT_NEAR(sumX / n, 128, 6);
  // Vertically near the middle of the box.
  const int mid = hint->Top() + hint->Height() / 2;
  EXPECT_NEAR((minY + maxY) / 2, mid, 4);
}

}  // namespace
}  // namespace shapes_test
}  // namespace wy
