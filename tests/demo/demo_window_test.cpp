// End-to-end tests of the demonstration window: the real window, driven as
// Qt delivers a person's input (clicks and drags on the window, keys to the
// focus widget), against a loopback server standing in for the tile,
// geocoding, places and icon hosts.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "demo/demo_window_test_access.h"
#include "geo/geodesy.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "graphics/track_profile_widget.h"
#include "map/map_control.h"
#include "map/map_controls.h"
#include "map/map_test_support.h"
#include "map/track_profile_link.h"
#include "platform/open_url.h"
#include "platform/tick.h"
#include "services/geo_localise.h"
#include "services/places.h"
#include "services/rate_limit.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "support/test_helpers.h"
#include "tiles/tile_server.h"

namespace wy {
namespace {

using test_support::PumpUntil;
using test_support::TScratchDir;

const char kSearchPath[] = "/nominatim/v1/search";
const char kReversePath[] = "/nominatim/v1/reverse";
const char kXapiPath[] = "/api/xapi";
const char kFallbackPrefix[] = "/fallback/xapi/";

// The tile servers of the window's list, by their endpoint names.
const char* const kTileServers[] = {"mapquest",  "mapquest-sat", "osm",
                                    "cloudmade", "opencyclemap", "opnv"};

const char kParisBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<searchresults querystring='PARIS'>\n"
    "<place place_id='1' lat='48.8566' lon='2.3515' display_name='Paris, Ile-de-France, France "
    "metropolitaine, France'>"
    "<city>Paris</city></place>\n"
    "<place place_id='2' lat='33.6609' lon='-95.5555' display_name='Paris, Lamar County, Texas, "
    "United States'>"
    "</place>\n"
    "</searchresults>\n";
const char kLondonBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<searchresults querystring='LONDON'>\n"
    "<place place_id='3' lat='51.5073' lon='-0.1276' display_name='London, England'>"
    "</place>\n"
    "<place place_id='4' lat='42.9834' lon='-81.2497' display_name='London, Ontario'>"
    "</place>\n"
    "</searchresults>\n";
const char kNoPlaceBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<searchresults querystring='x'>\n"
    "</searchresults>\n";
const char kReverseBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<reversegeocode><result place_id=\"1\">12 Rue X</result></reversegeocode>\n";

// Four places around the start centre: a supermarket, a restaurant, a shop
// that is also a doctors' practice, and a shop without a name.
const char kPlacesAnswer[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<osm version=\"0.6\" generator=\"Overpass API\">\n"
    "  <node id=\"1\" lat=\"43.214\" lon=\"0.108\">\n"
    "    <tag k=\"name\" v=\"Bio &amp; Co\"/>\n"
    "    <tag k=\"shop\" v=\"supermarket\"/>\n"
    "  </node>\n"
    "  <node id=\"2\" lat=\"43.216\" lon=\"0.104\">\n"
    "    <tag k=\"amenity\" v=\"restaurant\"/>\n"
    "    <tag k=\"name\" v=\"Chez Nous\"/>\n"
    "  </node>\n"
    "  <node id=\"3\" lat=\"43.211\" lon=\"0.111\">\n"
    "    <tag k=\"amenity\" v=\"doctors\"/>\n"
    "    <tag k=\"shop\" v=\"chemist\"/>\n"
    "    <tag k=\"name\" v=\"Dr House\"/>\n"
    "  </node>\n"
    "  <node id=\"4\" lat=\"43.218\" lon=\"0.112\">\n"
    "    <tag k=\"shop\" v=\"bakery\"/>\n"
    "  </node>\n"
    "</osm>\n";

class DemoWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FServer.Running());
    ResetEndpointSlots();
    // Every tile server of the list draws from here, each below its own
    // folder.
    FServer.HandleRegex(R"(/tiles/[a-z-]+/(\d+)/(\d+)/(\d+)\.png)",
                        [](const TFixtureRequest& request, httplib::Response& response) {
                          response.set_content(
                              SolidPng(maptest::TileColor(std::stoi(request.Captures.at(1)),
                                                          std::stoi(request.Captures.at(2)))),
                              "image/png");
                        });
    for (const char* server : kTileServers)
      SetEndpoint(server, FServer.Url(std::string("/tiles/") + server + "/{z}/{x}/{y}.png"));
    for (const char* icon : {"red-pushpin.png", "restaurant.png", "doctor.png", "supermarket.png"})
      FServer.Serve(std::string("/icons/") + icon, SolidPng(qRgb(200, 0, 0), 20, 32), "image/png");
    FServer.Handle(kSearchPath, [](const TFixtureRequest& request, httplib::Response& response) {
      const std::string q = request.Param("q");
      response.set_content(q == "PARIS"    ? kParisBody
                           : q == "LONDON" ? kLondonBody
                                           : kNoPlaceBody,
                           "text/xml");
    });
    FServer.Serve(kReversePath, kReverseBody, "text/xml");
    FServer.Serve(kXapiPath, kPlacesAnswer, "text/xml");
    SetEndpoint("nominatim", FServer.Url("/nominatim/v1"));
    SetEndpoint("xapi", FServer.Url("/api/xapi?"));
    SetEndpoint("xapi-fallback", FServer.Url(kFallbackPrefix));
    SetSetting("demo.icon-base", FServer.Url("/icons"));
    NewWindow();
  }
  void TearDown() override {
    FWindow.reset();
    FServer.ReleaseAll();
    ResetSettings();
    ResetEndpointSlots();
  }

  void NewWindow() {
    FWindow = std::make_unique<TFZeduZavireRozuvidu>(FCache.Path());
    W().geoLocalise().MapQuestServices().SetKey("K");
    FWindow->show();
    FWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FWindow.get()));
    WaitProcessing(20);
  }

  TFZeduZavireRozuviduTestAccess W() { return TFZeduZavireRozuviduTestAccess(*FWindow); }
  TWyShapes& Shapes() { return *W().map()->Shapes(); }
  TWyShapeMarker* Marker(int i) { return Shapes().Markers()->Items(i); }
  TWyShapeInfoWindow* Info() { return Shapes().InfoWindows()->Items(0); }
  TWyShapePolygone* Area() { return Shapes().Polygones()->Items(0); }
  std::string Status() { return W().status()->text().toStdString(); }
  // A tile of the server of that endpoint name was asked for.
  bool TileRequested(const std::string& server) {
    for (const TFixtureRequest& r : FServer.Requests())
      if (r.Path.rfind("/tiles/" + server + "/", 0) == 0) return true;
    return false;
  }

  // --- Input as Qt delivers it for a person: the mouse on the window, keys
  // to the widget that has the focus.
  QWindow* Window() { return FWindow->windowHandle(); }
  // A point of a widget in the window's coordinates; its middle by default.
  QPoint At(QWidget* widget, QPoint local = QPoint(-1, -1)) {
    if (local == QPoint(-1, -1)) local = widget->rect().center();
    return widget->mapTo(FWindow.get(), local);
  }
  void Click(QWidget* widget, QPoint local = QPoint(-1, -1)) {
    QTest::mouseClick(Window(), Qt::LeftButton, Qt::NoModifier, At(widget, local));
  }
  // The pointer comes over the map point, then a click there.
  void ClickMap(QPoint at) {
    QTest::mouseMove(Window(), At(W().map(), at));
    Click(W().map(), at);
  }
  // A press at `from`, the pointer held down through `steps` moves to `to`,
  // and the release there.
  void Drag(QWidget* widget, QPoint from, QPoint to, int steps = 5) {
    QTest::mouseMove(Window(), At(widget, from));
    QTest::mousePress(Window(), Qt::LeftButton, Qt::NoModifier, At(widget, from));
    for (int step = 1; step <= steps; ++step)
      QTest::mouseMove(Window(), At(widget, from + (to - from) * step / steps));
    QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, At(widget, to));
  }
  QWidget* Focus() { return maptest::FocusWidget(FWindow.get()); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    maptest::KeyToFocus(FWindow.get(), key, modifiers);
  }
  // A click in a text box (the edit part of a combo box), all its text
  // selected and replaced by typing. Delete drops what the address box may
  // have completed from its list (shown selected after the typed text).
  void TypeInto(QWidget* box, const std::string& text) {
    Click(box, QPoint(8, box->height() / 2));
    Key(Qt::Key_A, Qt::ControlModifier);
    if (text.empty())
      Key(Qt::Key_Backspace);
    else
      QTest::keyClicks(Focus(), QString::fromStdString(text));
    Key(Qt::Key_Delete);
  }
  void EnterAddress(const std::string& text) {
    TypeInto(W().adresse(), text);
    Key(Qt::Key_Return);
  }
  // Opens the list of a combo box with a click on its arrow.
  void OpenList(QComboBox* box) {
    Click(box, QPoint(box->width() - 6, box->height() / 2));
    ASSERT_TRUE(PumpUntil([&] { return box->view()->isVisible(); }, 2000));
  }
  // Opens the list and picks item `index` with the keyboard.
  void Choose(QComboBox* box, int index) {
    OpenList(box);
    Key(Qt::Key_Home);
    for (int i = 0; i < index; ++i) Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return !box->view()->isVisible(); }, 2000));
  }

  // The search area is the box of `metres` around the pin, in the order
  // SW, SE, NE, NW, SW; only the points after the first carry no altitude.
  void ExpectAreaAroundPin(double metres) {
    ASSERT_EQ(Shapes().Polygones()->Count(), 1);
    TWyShapePolygone* area = Area();
    ASSERT_EQ(area->Count(), 5);
    double latSW, lngSW, latNE, lngNE;
    boundingCoordinates(Marker(0)->Latitude(), Marker(0)->Longitude(), metres / 1000, latSW, lngSW,
                        latNE, lngNE);
    const double expected[5][2] = {
        {latSW, lngSW}, {latSW, lngNE}, {latNE, lngNE}, {latNE, lngSW}, {latSW, lngSW}};
    for (int i = 0; i < 5; ++i) {
      SCOPED_TRACE(i);
      EXPECT_DOUBLE_EQ(area->getPoints(i)->Lat(), expected[i][0]);
      EXPECT_DOUBLE_EQ(area->getPoints(i)->Lng(), expected[i][1]);
      if (i > 0) {
        EXPECT_EQ(area->getPoints(i)->Alt(), -9999);
      }
    }
  }

  // Clicks "Find places" and waits for the search to be over.
  void FindPlaces() {
    ASSERT_TRUE(W().btFindPlaces()->isEnabled());
    Click(W().btFindPlaces());
    ASSERT_TRUE(PumpUntil([&] { return W().abort()->isHidden(); }));
  }

  TFixtureServer FServer;
  TScratchDir FCache;
  std::unique_ptr<TFZeduZavireRozuvidu> FWindow;
};

// S1: the window as it opens.
TEST_F(DemoWindowTest, StartState) {
  EXPECT_EQ(FWindow->windowTitle().toStdString(), "Demo RiduzeZirudiruzire");
  EXPECT_EQ(W().tileserver()->currentIndex(), -1);
  EXPECT_EQ(W().tileserver()->count(), 7);
  // Not blank: it names the map shown until one is chosen.
  EXPECT_EQ(W().tileserver()->currentText().toStdString(), "");
  EXPECT_EQ(W().tileserver()->placeholderText().toStdString(), "OSM");
  EXPECT_TRUE(W().ckStore()->isChecked());
  EXPECT_EQ(W().radius()->text().toStdString(), "1000");
  EXPECT_TRUE(W().btFindPlaces()->isEnabled());
  EXPECT_TRUE(W().abort()->isHidden());
  EXPECT_EQ(W().btGo()->x(), 282);
  EXPECT_EQ(W().adresse()->width(), 207);
  EXPECT_EQ(W().results()->rowCount(), 1);
  EXPECT_TRUE(W().results()->item(0, 0)->text().isEmpty());

  ASSERT_EQ(Shapes().Markers()->Count(), 2);
  const double lat = TFZeduZavireRozuviduTestAccess::kStartLatitude;
  const double lng = TFZeduZavireRozuviduTestAccess::kStartLongitude;
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(Marker(i)->Latitude(), lat, 1e-6);
    EXPECT_NEAR(Marker(i)->Longitude(), lng, 1e-6);
  }
  EXPECT_EQ(Marker(0)->Filename(), FServer.Url("/icons/red-pushpin.png"));
  EXPECT_TRUE(Marker(0)->Draggable());
  EXPECT_EQ(W().idSelected(), 1);
  EXPECT_FALSE(Marker(1)->Visible());
  EXPECT_EQ(Marker(1)->ZIndex(), 101);
  EXPECT_FALSE(Marker(1)->Draggable());
  ASSERT_EQ(Shapes().InfoWindows()->Count(), 1);
  EXPECT_FALSE(Info()->Visible());
  EXPECT_EQ(Info()->ZIndex(), 20);

  ExpectAreaAroundPin(1000);
  EXPECT_EQ(Area()->Color(), 0xFF0000u);
  EXPECT_EQ(Area()->HoverColor(), 0xFF0000u);
  EXPECT_EQ(Area()->ZIndex(), -1);
  EXPECT_EQ(Area()->Opacity(), 10);
  EXPECT_FALSE(Area()->Clickable());

  // The map draws from the tile server and the pin's icon comes from the
  // icon host.
  EXPECT_TRUE(PumpUntil([&] { return FServer.RequestCount("/icons/red-pushpin.png") > 0; }));
  EXPECT_TRUE(PumpUntil([&] { return TileRequested("osm"); }));
  EXPECT_TRUE(Status().empty());
}

// S2: every item of the tile server list picks its server, and the map
// draws from it.
TEST_F(DemoWindowTest, TileServerChoice) {
  const TTileServer servers[] = {tsOpenMapQuest, tsOpenMapQuestSat, tsOSM,
                                 tsCloudMade,    tsOpenCycleMap,    tsOPNV};
  for (int index = 0; index < 6; ++index) {
    SCOPED_TRACE(index);
    FServer.ClearRequests();
    Choose(W().tileserver(), index);
    EXPECT_EQ(W().tileserver()->currentIndex(), index);
    EXPECT_EQ(W().map()->TileServer(), servers[index]);
    W().map()->RedrawMap(false);
    EXPECT_TRUE(PumpUntil([&] { return TileRequested(kTileServers[index]); }));
  }
  // The last item draws the built-in world map: nothing is downloaded.
  Choose(W().tileserver(), 6);
  EXPECT_EQ(W().tileserver()->currentText().toStdString(), "Offline");
  EXPECT_EQ(W().map()->TileServer(), tsOffline);
  W().map()->RedrawMap(false);
  EXPECT_TRUE(W().map()->MapServer().TileOK());
  EXPECT_EQ(W().map()->MapServer().ActiveDownloads(), 0);
}

// S3: an address typed in the box and Enter fill the list and move there; a
// list choice moves to that place; Goto repeats the search from the disk
// cache.
TEST_F(DemoWindowTest, AddressByEnterListAndGoto) {
  EnterAddress("PARIS");
  ASSERT_EQ(FServer.RequestCount(kSearchPath), 1u);
  const TFixtureRequest request = FServer.RequestsTo(kSearchPath).at(0);
  EXPECT_EQ(request.Target, "/nominatim/v1/search?format=xml&q=PARIS&key=K&addressdetails=1");
  ASSERT_EQ(W().adresse()->count(), 2);
  EXPECT_EQ(W().adresse()->itemText(0).toStdString(),
            "Paris, Ile-de-France, France metropolitaine, France");
  EXPECT_EQ(W().adresse()->itemText(1).toStdString(), "Paris, Lamar County, Texas, United States");
  EXPECT_EQ(W().adresse()->currentText().toStdString(), "PARIS");
  EXPECT_NEAR(W().map()->Center().Lat, 48.8566, 1e-3);
  EXPECT_NEAR(W().map()->Center().Lng, 2.3515, 1e-3);
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);
  ExpectAreaAroundPin(1000);

  // The list opens wide enough for the whole names, wider than the box.
  OpenList(W().adresse());
  QAbstractItemView* list = W().adresse()->view();
  EXPECT_GT(list->viewport()->width(), W().adresse()->width());
  EXPECT_GE(list->viewport()->width(), list->sizeHintForColumn(0));
  Key(Qt::Key_Escape);
  ASSERT_TRUE(PumpUntil([&] { return !list->isVisible(); }, 2000));

  // The second item of the list.
  Choose(W().adresse(), 1);
  EXPECT_NEAR(W().map()->Center().Lat, 33.6609, 1e-3);
  EXPECT_NEAR(Marker(0)->Longitude(), W().map()->Center().Lng, 1e-9);
  ExpectAreaAroundPin(1000);

  // Goto with the same text: the answer is on disk, the server is not asked.
  TypeInto(W().adresse(), "PARIS");
  Click(W().btGo());
  EXPECT_EQ(FServer.RequestCount(kSearchPath), 1u);
  EXPECT_NEAR(W().map()->Center().Lat, 48.8566, 1e-3);
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);
  ExpectAreaAroundPin(1000);
  EXPECT_TRUE(Status().empty());
}

// A coordinate pair typed in the address box goes there with the pin, by
// Enter or Goto, without asking the geocoder; anything else is searched.
TEST_F(DemoWindowTest, TypedCoordinatesGoThereWithoutGeocoding) {
  struct Case {
    const char* text;
    bool byGoto;
    double lat, lng;
  } cases[] = {
      {"-33.86,151.21", false, -33.86, 151.21},
      {"48\xB0"
       "51'24\"N 2\xB0"
       "21'03\"E",
       false, 48 + 51.0 / 60 + 24.0 / 3600, 2 + 21.0 / 60 + 3.0 / 3600},
      {"40.7128 -74.006", true, 40.7128, -74.006},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    // Typed as Latin-1 keys: the degree sign is one key.
    TypeInto(W().adresse(), "");
    QTest::keyClicks(Focus(), QString::fromLatin1(c.text));
    if (c.byGoto)
      Click(W().btGo());
    else
      Key(Qt::Key_Return);
    EXPECT_NEAR(W().map()->Center().Lat, c.lat, 1e-4);
    EXPECT_NEAR(W().map()->Center().Lng, c.lng, 1e-4);
    EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);
    ExpectAreaAroundPin(1000);
    EXPECT_TRUE(Status().empty());
  }
  EXPECT_EQ(FServer.RequestCount(kSearchPath), 0u);

  // Three numbers are no pair: the geocoder is asked as before.
  EnterAddress("48.85, 2.35, 100");
  EXPECT_EQ(FServer.RequestCount(kSearchPath), 1u);
  EXPECT_NEAR(W().map()->Center().Lat, 40.7128, 1e-4);
}

// The map's zoom buttons and scale bar are on, and the status line shows
// the coordinate under the pointer.
TEST_F(DemoWindowTest, MapControlsAndPointerCoordinate) {
  TWyVuroduDav* map = W().map();
  const QPoint at(200, 150);
  QTest::mouseMove(Window(), At(map, at));
  const TLatLng c = map->FromXYToLatLng(at.x(), at.y());
  EXPECT_EQ(W().pointerAt()->text().toStdString(),
            FloatToStrFixedDot(5, c.Lat) + ", " + FloatToStrFixedDot(5, c.Lng));

  ASSERT_TRUE(map->ShowScaleBar());
  EXPECT_TRUE(map->Controls().ScaleBarWidget()->isVisible());
  ASSERT_TRUE(map->ShowZoomButtons());
  const uint8_t zoom = map->Zoom();
  Click(map->Controls().ZoomInButton());
  EXPECT_EQ(map->Zoom(), zoom + 1);
  Click(map->Controls().ZoomOutButton());
  EXPECT_EQ(map->Zoom(), zoom);
}

// After Goto the list holds that search's places, and choosing one goes to
// it (not to a place of the search before).
TEST_F(DemoWindowTest, GotoFillsTheListWithItsPlaces) {
  EnterAddress("PARIS");
  ASSERT_EQ(W().adresse()->count(), 2);
  TypeInto(W().adresse(), "LONDON");
  Click(W().btGo());
  EXPECT_NEAR(W().map()->Center().Lat, 51.5073, 1e-3);
  ASSERT_EQ(W().adresse()->count(), 2);
  EXPECT_EQ(W().adresse()->itemText(0).toStdString(), "London, England");
  EXPECT_EQ(W().adresse()->itemText(1).toStdString(), "London, Ontario");
  EXPECT_EQ(W().adresse()->currentText().toStdString(), "LONDON");

  Choose(W().adresse(), 1);
  EXPECT_NEAR(W().map()->Center().Lat, 42.9834, 1e-3);
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);

  // A Goto that finds nothing empties the list: nothing of London is left
  // to choose.
  TypeInto(W().adresse(), "NOWHERE");
  Click(W().btGo());
  EXPECT_EQ(W().adresse()->count(), 0);
  EXPECT_NE(Status().find("No place found"), std::string::npos) << Status();
}

// Typed text stays one query value whatever characters it holds (the
// search sends it in capitals).
TEST_F(DemoWindowTest, TypedAddressesStayOneQueryValue) {
  for (const char* text : {"AT&T TOWER", "RUE #3 + 50% = OK"}) {
    SCOPED_TRACE(text);
    FServer.ClearRequests();
    EnterAddress(text);
    std::string q = "(no request)";
    for (const TFixtureRequest& r : FServer.Requests())
      if (r.Path == kSearchPath && r.Params.count("q")) q = r.Params.find("q")->second;
    EXPECT_EQ(q, text);
  }
}

// Address look-ups that find nothing or reach no service leave the map
// where it was and say so in the status line.
TEST_F(DemoWindowTest, FailedAddressLookUpsAreReported) {
  const struct {
    const char* text;
    bool refuse;
    const char* status;
  } cases[] = {{"NOWHERE", false, "No place found"}, {"PARIS", true, "could not be reached"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.refuse) SetEndpoint("nominatim", FServer.RefusedUrl("/nominatim/v1"));
    const TLatLng before = W().map()->Center();
    EnterAddress(c.text);
    EXPECT_EQ(W().adresse()->count(), 0);
    EXPECT_DOUBLE_EQ(W().map()->Center().Lat, before.Lat);
    EXPECT_DOUBLE_EQ(W().map()->Center().Lng, before.Lng);
    EXPECT_NE(Status().find(c.status), std::string::npos) << Status();
  }
}

// S4: a click on the map moves the pin and the area; so does dropping the
// dragged pin elsewhere.
TEST_F(DemoWindowTest, MapClickAndPinDragMoveTheArea) {
  const QPoint middle(W().map()->width() / 2, W().map()->height() / 2);
  const QPoint target = middle + QPoint(-150, 90);
  const TLatLng expected = W().map()->FromXYToLatLng(target.x(), target.y());
  ClickMap(target);
  EXPECT_NEAR(Marker(0)->Latitude(), expected.Lat, 1e-9);
  EXPECT_NEAR(Marker(0)->Longitude(), expected.Lng, 1e-9);
  ExpectAreaAroundPin(1000);

  // Drag the pin (its box stands on the point) back to the middle.
  W().map()->RedrawMap(false);
  WaitProcessing(20);
  const QPoint grip = target + QPoint(0, -8);
  Drag(W().map(), grip, middle + QPoint(0, -8));
  EXPECT_GT(std::abs(Marker(0)->Latitude() - expected.Lat), 1e-5);
  ExpectAreaAroundPin(1000);
}

// The attribution of the OpenStreetMap data links to the page of its terms:
// a click on it opens the page and leaves the pin where it was.
TEST_F(DemoWindowTest, AttributionLinksToTheCopyrightPage) {
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  struct TRestoreOpener {
    ~TRestoreOpener() { SetUrlOpener(nullptr); }
  } restore;
  W().map()->RedrawMap(false);
  const QRect attribution = W().map()->CopyrightRect();
  ASSERT_FALSE(attribution.isEmpty());
  EXPECT_EQ(W().map()->TileServerInfo().CopyRight, "\xC2\xA9 OpenStreetMap contributors");
  const double lat = Marker(0)->Latitude();
  const double lng = Marker(0)->Longitude();
  ClickMap(attribution.center());
  EXPECT_EQ(opened, std::vector<std::string>{"https://www.openstreetmap.org/copyright"});
  EXPECT_EQ(Marker(0)->Latitude(), lat);
  EXPECT_EQ(Marker(0)->Longitude(), lng);
}

// S5: the places arrive as markers with icons by type and in the list; the
// first one is shown with its tags and address.
TEST_F(DemoWindowTest, FindPlacesShowsMarkersListAndFirstPlace) {
  FindPlaces();
  ASSERT_EQ(FServer.RequestCount(kXapiPath), 1u);
  const std::string target = FServer.RequestsTo(kXapiPath).at(0).Target;
  const bool raw = target.find("node[shop=*][bbox=") != std::string::npos;
  const bool encoded = target.find("node%5Bshop=*%5D%5Bbbox=") != std::string::npos;
  EXPECT_TRUE(raw || encoded) << target;

  const struct {
    const char* name;
    const char* icon;
  } expected[] = {{"Bio & Co", "supermarket.png"},
                  {"Chez Nous", "restaurant.png"},
                  {"Dr House", "doctor.png"},
                  {"unknown", "supermarket.png"}};
  ASSERT_EQ(W().place()->count(), 4);
  ASSERT_EQ(Shapes().Markers()->Count(), 6);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(W().place()->itemText(i).toStdString(), expected[i].name);
    TWyShapeMarker* m = Marker(2 + i);
    EXPECT_EQ(m->Tag(), i + 1);
    EXPECT_EQ(m->Hint(), expected[i].name);
    EXPECT_TRUE(m->Clickable());
    EXPECT_EQ(m->Filename(), FServer.Url(std::string("/icons/") + expected[i].icon));
  }
  EXPECT_EQ(W().startPlace(), 1);

  // The first place: its lines in the grid, the blinking selection marker
  // and the info window with its address.
  const TWyPlaceResult* first = W().geoLocalise().Places().Results().Items(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(W().place()->currentIndex(), 0);
  EXPECT_EQ(W().results()->rowCount(), first->CountResult());
  bool nameRow = false;
  for (int r = 0; r < W().results()->rowCount(); ++r)
    nameRow |= W().results()->item(r, 0)->text() == "name" &&
               W().results()->item(r, 1)->text() == "Bio & Co";
  EXPECT_TRUE(nameRow);
  EXPECT_TRUE(Marker(1)->Visible());
  EXPECT_NE(Marker(1)->Animation(), nullptr);
  EXPECT_DOUBLE_EQ(Marker(1)->Latitude(), 43.214);
  ASSERT_EQ(FServer.RequestCount(kReversePath), 1u);
  const TFixtureRequest reverse = FServer.RequestsTo(kReversePath).at(0);
  EXPECT_EQ(reverse.Param("lat"), "43.214");
  EXPECT_EQ(reverse.Param("lon"), "0.108");
  EXPECT_EQ(reverse.Param("key"), "K");
  EXPECT_TRUE(Info()->Visible());
  EXPECT_EQ(Info()->Content(), "<b>Bio & Co</b><br><br>12 Rue X");
  EXPECT_NEAR(W().map()->Center().Lat, 43.214, 1e-3);
  EXPECT_GE(W().map()->Zoom(), 16);
  // The area and the pin stay.
  ExpectAreaAroundPin(1000);

  // Every icon type shown is fetched from the icon host.
  for (const char* icon : {"restaurant.png", "doctor.png", "supermarket.png"}) {
    SCOPED_TRACE(icon);
    W().map()->setCenter(43.215, 0.108);
    W().map()->SetZoom(14);
    EXPECT_TRUE(PumpUntil([&] {
      W().map()->RedrawMap(false);
      return FServer.RequestCount(std::string("/icons/") + icon) > 0;
    }));
  }

  // Choosing a place in the list shows that one.
  Choose(W().place(), 2);
  EXPECT_DOUBLE_EQ(Marker(1)->Latitude(), 43.211);
  EXPECT_EQ(Info()->Content(), "<b>Dr House</b><br><br>12 Rue X");
}

// Two places: the first with 40 notes more than its grid can show at once,
// the second with three tags.
std::string LongAndShortPlaces() {
  std::string answer =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm>\n"
      "  <node id=\"1\" lat=\"43.214\" lon=\"0.108\">\n"
      "    <tag k=\"name\" v=\"Bio &amp; Co\"/>\n"
      "    <tag k=\"shop\" v=\"supermarket\"/>\n";
  for (int i = 0; i < 40; ++i)
    answer += "    <tag k=\"note:" + std::to_string(i) + "\" v=\"a remark on the place, number " +
              std::to_string(i) + "\"/>\n";
  answer +=
      "  </node>\n"
      "  <node id=\"2\" lat=\"43.216\" lon=\"0.104\">\n"
      "    <tag k=\"name\" v=\"Chez Nous\"/>\n"
      "    <tag k=\"amenity\" v=\"restaurant\"/>\n"
      "  </node>\n</osm>\n";
  return answer;
}

// "Key" and "Value" head the tag grid as its header, not as a data row: the
// rows are the place's tags only, and the header stays in view when the
// grid is scrolled to its last row.
TEST_F(DemoWindowTest, TagGridHeaderStaysInView) {
  FServer.Serve(kXapiPath, LongAndShortPlaces(), "text/xml");

  QTableWidget* grid = W().results();
  QHeaderView* header = grid->horizontalHeader();
  const auto expectHeader = [&] {
    EXPECT_TRUE(header->isVisible());
    ASSERT_NE(grid->horizontalHeaderItem(0), nullptr);
    ASSERT_NE(grid->horizontalHeaderItem(1), nullptr);
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text().toStdString(), "Key");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text().toStdString(), "Value");
    EXPECT_LE(header->geometry().bottom(), grid->viewport()->geometry().top());
  };
  expectHeader();

  FindPlaces();
  const TWyPlaceResult* first = W().geoLocalise().Places().Results().Items(0);
  ASSERT_NE(first, nullptr);
  ASSERT_GT(first->CountResult(), 40);
  ASSERT_EQ(grid->rowCount(), first->CountResult());
  for (int r = 0; r < grid->rowCount(); ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(grid->item(r, 0)->text().toStdString(), first->Names(r));
  }

  // A click in the grid, then Ctrl+End to its last row.
  Click(grid->viewport(), QPoint(grid->viewport()->width() / 2, 5));
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_GT(grid->verticalScrollBar()->value(), 0);
  EXPECT_GT(grid->rowAt(0), 0);
  expectHeader();
}

// The two columns fill the grid beside its scroll bar: the values end at
// the scroll bar while the tags need one and at the grid's edge when not,
// whichever place was shown before.
TEST_F(DemoWindowTest, TagGridColumnsFillTheGridBesideItsScrollBar) {
  FServer.Serve(kXapiPath, LongAndShortPlaces(), "text/xml");
  QTableWidget* grid = W().results();
  // The grid lays itself out when the window thread is idle: the widths
  // are read once the scroll bar is as expected and the layout has settled.
  const auto expectColumnsFill = [&](bool scrollBar) {
    const auto filled = [&] {
      return grid->verticalScrollBar()->isVisible() == scrollBar &&
             grid->columnWidth(0) + grid->columnWidth(1) == grid->viewport()->width();
    };
    PumpUntil(filled, 2000);
    EXPECT_EQ(grid->verticalScrollBar()->isVisible(), scrollBar);
    EXPECT_EQ(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());
  };
  FindPlaces();
  ASSERT_EQ(W().place()->count(), 2);
  {
    SCOPED_TRACE("the long place first");
    expectColumnsFill(true);
  }
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Choose(W().place(), 1);
    expectColumnsFill(false);
    Choose(W().place(), 0);
    expectColumnsFill(true);
  }
}

// Results that arrive after the user panned the map (and changed the
// distance) keep the pin and the area where the search ran.
TEST_F(DemoWindowTest, ResultsStayWhereTheSearchRan) {
  FServer.Hold("xapi");
  FServer.Handle(kXapiPath, [&](const TFixtureRequest&, httplib::Response& response) {
    FServer.WaitRelease("xapi", 20000);
    response.set_content(kPlacesAnswer, "text/xml");
  });
  const QPoint middle(W().map()->width() / 2, W().map()->height() / 2);
  ClickMap(middle + QPoint(60, -40));
  Click(W().btFindPlaces());
  ASSERT_TRUE(PumpUntil([&] { return FServer.RequestCount(kXapiPath) == 1; }));
  // The search runs around the pin, the map centred on it.
  const double searchedLat = Marker(0)->Latitude();
  const double searchedLng = Marker(0)->Longitude();
  EXPECT_NEAR(searchedLat, W().map()->Center().Lat, 1e-9);

  // Meanwhile the map is dragged away and the distance changed.
  const TLatLng before = W().map()->Center();
  Drag(W().map(), middle + QPoint(100, 120), middle + QPoint(-200, -100), 10);
  EXPECT_GT(std::abs(W().map()->Center().Lng - before.Lng), 1e-3);
  TypeInto(W().radius(), "300");

  FServer.Release("xapi");
  ASSERT_TRUE(PumpUntil([&] { return W().abort()->isHidden(); }));
  ASSERT_EQ(W().place()->count(), 4);
  EXPECT_NEAR(Marker(0)->Latitude(), searchedLat, 1e-9);
  EXPECT_NEAR(Marker(0)->Longitude(), searchedLng, 1e-9);
  ExpectAreaAroundPin(1000);
}

// S6: clicking the marker of place 1 selects the same place as the list.
TEST_F(DemoWindowTest, MarkerClickSelectsThePlace) {
  FindPlaces();
  ASSERT_EQ(Shapes().Markers()->Count(), 6);
  TWyShapeMarker* m = Marker(3);
  ASSERT_EQ(m->Tag(), 2);
  W().map()->setCenter(m->Latitude(), m->Longitude());
  W().map()->RedrawMap(false);
  WaitProcessing(20);
  const QPoint on(W().map()->width() / 2, W().map()->height() / 2 - 10);
  ClickMap(on);
  EXPECT_EQ(W().place()->currentIndex(), 1);
  EXPECT_DOUBLE_EQ(Marker(1)->Latitude(), 43.216);
  EXPECT_EQ(Info()->Content(), "<b>Chez Nous</b><br><br>12 Rue X");
}

// S7 with the stale report of the aborted search: the abort resets the
// window at once; when the stopped search finally ends during a newer
// search, the newer one keeps its abort button and its time limit.
TEST_F(DemoWindowTest, AbortWhileStalledAndLateReport) {
  std::atomic<int> calls{0};
  FServer.Hold("first");
  FServer.Hold("second");
  FServer.Handle(kXapiPath, [&](const TFixtureRequest&, httplib::Response& response) {
    FServer.WaitRelease(calls++ == 0 ? "first" : "second", 20000);
    response.set_content(kPlacesAnswer, "text/xml");
  });
  Click(W().btFindPlaces());
  ASSERT_TRUE(PumpUntil([&] { return calls.load() == 1; }));
  EXPECT_TRUE(W().abort()->isVisible());
  EXPECT_FALSE(W().btFindPlaces()->isEnabled());
  EXPECT_TRUE(W().timerPlaces()->isActive());

  Click(W().abort());
  EXPECT_TRUE(W().abort()->isHidden());
  EXPECT_FALSE(W().timerPlaces()->isActive());
  EXPECT_TRUE(W().btFindPlaces()->isEnabled());
  EXPECT_EQ(Shapes().Markers()->Count(), 2);
  EXPECT_EQ(W().place()->count(), 0);
  ExpectAreaAroundPin(1000);
  EXPECT_EQ(Status(), "Places search aborted");

  // A new search; then the first one's request is answered.
  Click(W().btFindPlaces());
  ASSERT_TRUE(PumpUntil([&] { return calls.load() == 2; }));
  FServer.Release("first");
  WaitProcessing(300);
  EXPECT_TRUE(W().abort()->isVisible());
  EXPECT_TRUE(W().timerPlaces()->isActive());
  EXPECT_FALSE(W().btFindPlaces()->isEnabled());

  FServer.Release("second");
  ASSERT_TRUE(PumpUntil([&] { return W().abort()->isHidden(); }));
  EXPECT_EQ(W().place()->count(), 4);
}

// S8: the countdown with an injected clock never shows more than 40 s,
// aborts on the first tick past 40 whole seconds and starts again at 40 s.
TEST_F(DemoWindowTest, CountdownAbortsAfterFortySeconds) {
  std::atomic<uint32_t> now{0xFFFF0000u};  // wraps during the search
  TScopedTickSource tick([&] { return now.load(); });
  FServer.Hold("xapi");
  FServer.Handle(kXapiPath, [&](const TFixtureRequest&, httplib::Response& response) {
    FServer.WaitRelease("xapi", 20000);
    response.set_content(kPlacesAnswer, "text/xml");
  });
  const uint32_t start = now.load();
  Click(W().btFindPlaces());
  ASSERT_TRUE(W().geoLocalise().Places().Searching());
  EXPECT_EQ(W().abort()->text().toStdString(), "Abort in 40s");
  W().timerPlaces()->stop();  // the test ticks itself

  std::vector<int> shown;
  uint32_t abortedAt = 0;
  for (uint32_t ms = 0; ms <= 45000 && abortedAt == 0; ms += 500) {
    now = start + ms;
    W().TimerPlacesTimer();
    const std::string caption = W().abort()->text().toStdString();
    ASSERT_EQ(caption.rfind("Abort in ", 0), 0u) << caption;
    shown.push_back(std::stoi(caption.substr(9)));
    if (W().abort()->isHidden()) abortedAt = ms;
  }
  EXPECT_EQ(abortedAt, 41000u);
  EXPECT_EQ(shown.front(), 40);
  for (size_t i = 1; i < shown.size(); ++i) {
    EXPECT_LE(shown[i], shown[i - 1]);
    EXPECT_GE(shown[i], 0);
  }
  EXPECT_EQ(shown.back(), 0);
  EXPECT_EQ(W().place()->count(), 0);
  EXPECT_EQ(Shapes().Markers()->Count(), 2);
  ExpectAreaAroundPin(1000);
  EXPECT_TRUE(W().btFindPlaces()->isEnabled());

  // A late tick (the window was blocked) still shows 0, and the next search
  // starts at 40 s again.
  EXPECT_EQ(TFZeduZavireRozuviduTestAccess::AbortCaption(47), "Abort in 0s");
  FServer.Release("xapi");
  Click(W().btFindPlaces());
  EXPECT_EQ(W().abort()->text().toStdString(), "Abort in 40s");
  ASSERT_TRUE(PumpUntil([&] { return W().abort()->isHidden(); }));
}

// S9: both places servers fail: the window is reset, the failure reported,
// and the search has switched to the other server for later.
TEST_F(DemoWindowTest, BothPlacesServersFail) {
  FServer.ServeStatus(kXapiPath, 500);
  FServer.HandlePrefix(kFallbackPrefix, [](const TFixtureRequest&, httplib::Response& response) {
    response.status = 500;
    response.set_content("error", "text/plain");
  });
  FindPlaces();
  EXPECT_EQ(W().geoLocalise().Places().Status(), "ERROR");
  EXPECT_EQ(W().geoLocalise().Places().XapiServer(), FServer.Url(kFallbackPrefix));
  EXPECT_TRUE(W().btFindPlaces()->isEnabled());
  EXPECT_FALSE(W().timerPlaces()->isActive());
  EXPECT_EQ(W().place()->count(), 0);
  EXPECT_EQ(Shapes().Markers()->Count(), 2);
  ExpectAreaAroundPin(1000);
  EXPECT_NE(Status().find("failed"), std::string::npos);
}

// S10: a place name and an address carrying markup are shown as text: the
// image they name is never fetched.
TEST_F(DemoWindowTest, HostilePlaceNameIsNeverFetched) {
  const std::string evil = FServer.Url("/evil.png");
  const std::string answer =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm>\n"
      "  <node id=\"1\" lat=\"43.214\" lon=\"0.108\">\n"
      "    <tag k=\"name\" v=\"&lt;img src=&quot;" +
      evil +
      "&quot;&gt;X\"/>\n"
      "    <tag k=\"shop\" v=\"supermarket\"/>\n"
      "  </node>\n</osm>\n";
  FServer.Serve(kXapiPath, answer, "text/xml");
  FServer.Serve(kReversePath,
                "<?xml version=\"1.0\"?>\n<reversegeocode><result place_id=\"1\">&lt;img src=\"" +
                    FServer.Url("/evil2.png") + "\"&gt;Rue</result></reversegeocode>\n",
                "text/xml");
  FServer.Serve("/evil.png", SolidPng(qRgb(0, 0, 0), 8, 8), "image/png");
  FServer.Serve("/evil2.png", SolidPng(qRgb(0, 0, 0), 8, 8), "image/png");
  FindPlaces();
  ASSERT_EQ(W().place()->count(), 1);
  EXPECT_TRUE(Info()->Visible());
  EXPECT_EQ(Info()->Content().find("<img"), std::string::npos) << Info()->Content();
  EXPECT_EQ(Marker(2)->Hint().find('<'), std::string::npos);
  EXPECT_NE(Marker(2)->Hint().find("\xE2\x80\xB9img"), std::string::npos);
  // Draw the info window and show the marker's hint a few times.
  for (int i = 0; i < 10; ++i) {
    W().map()->RedrawMap(false);
    WaitProcessing(20);
  }
  EXPECT_EQ(FServer.RequestCount("/evil.png"), 0u);
  EXPECT_EQ(FServer.RequestCount("/evil2.png"), 0u);
}

// S11: "Clear all places" takes the places away and keeps pin and area.
TEST_F(DemoWindowTest, ClearAll) {
  FindPlaces();
  ASSERT_EQ(Shapes().Markers()->Count(), 6);
  Click(W().btClear());
  EXPECT_EQ(Shapes().Markers()->Count(), 2);
  EXPECT_FALSE(Marker(1)->Visible());
  EXPECT_EQ(Shapes().InfoWindows()->Count(), 1);
  EXPECT_FALSE(Info()->Visible());
  EXPECT_EQ(W().place()->count(), 0);
  EXPECT_EQ(W().results()->rowCount(), 1);
  EXPECT_TRUE(W().results()->item(0, 0)->text().isEmpty());
  EXPECT_TRUE(W().results()->item(0, 1)->text().isEmpty());
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);
  ExpectAreaAroundPin(1000);
}

// The distance: Find is offered for 1 .. 50000 metres only; an empty field
// shrinks the area to a point; letters cannot be typed in.
TEST_F(DemoWindowTest, DistanceEnablesFind) {
  const struct {
    const char* text;
    bool enabled;
  } cases[] = {{"", false},     {"0", false},     {"1", true},
               {"50000", true}, {"50001", false}, {"99999999999999999999", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TypeInto(W().radius(), c.text);
    EXPECT_EQ(W().radius()->text().toStdString(), c.text);
    EXPECT_EQ(W().btFindPlaces()->isEnabled(), c.enabled);
  }
  TypeInto(W().radius(), "");
  ASSERT_EQ(Area()->Count(), 5);
  EXPECT_NEAR(Area()->getPoints(0)->Lat(), Area()->getPoints(2)->Lat(), 1e-4);
  TypeInto(W().radius(), "12");
  QTest::keyClicks(Focus(), "a");
  EXPECT_EQ(W().radius()->text().toStdString(), "12");
}

// S12: closing the window while a search hangs ends cleanly.
TEST_F(DemoWindowTest, CloseDuringStalledSearch) {
  FServer.Hold("xapi");
  FServer.Handle(kXapiPath, [&](const TFixtureRequest&, httplib::Response& response) {
    FServer.WaitRelease("xapi", 20000);
    response.set_content(kPlacesAnswer, "text/xml");
  });
  Click(W().btFindPlaces());
  ASSERT_TRUE(PumpUntil([&] { return FServer.RequestCount(kXapiPath) == 1; }));
  FWindow->close();
  FWindow.reset();
  WaitProcessing(50);
  // A new window works against the same server afterwards.
  FServer.Release("xapi");
  NewWindow();
  EXPECT_EQ(Shapes().Markers()->Count(), 2);
}

// "Save…" writes the view and the places (not the window's own pin, area
// and details); "Open…" brings them back in place of the places, the pin
// and its area following the view. Failures are reported, a cancelled
// dialog changes nothing.
TEST_F(DemoWindowTest, SaveAndOpenMaps) {
  TScratchDir files;
  std::vector<bool> asked;
  std::string chosen;
  W().SetFileChooser([&](bool save) {
    asked.push_back(save);
    return chosen;
  });
  FindPlaces();
  ASSERT_EQ(Shapes().Markers()->Count(), 6);
  const std::string url = W().map()->Url();

  chosen = files.Sub("places.txt");
  Click(W().btSave());
  std::ifstream in(chosen, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.compare(0, 10, "\xEF\xBB\xBF[map]\r\n"), 0) << text;
  EXPECT_EQ(text.find("red-pushpin.png"), std::string::npos);
  EXPECT_EQ(text.find("[polygones]"), std::string::npos);
  EXPECT_EQ(text.find("[infowindows]"), std::string::npos);
  size_t records = 0;
  for (size_t at = text.find("\r\nname="); at != std::string::npos;
       at = text.find("\r\nname=", at + 1))
    ++records;
  EXPECT_EQ(records, 4u + 2u) << text;  // four places, two group headers
  EXPECT_TRUE(Status().empty());
  // The extension chooses the format: the same four places as GPX.
  chosen = files.Sub("places.GPX");
  Click(W().btSave());
  std::ifstream gpxIn(chosen, std::ios::binary);
  const std::string gpx((std::istreambuf_iterator<char>(gpxIn)), std::istreambuf_iterator<char>());
  EXPECT_EQ(gpx.compare(0, 8, "\xEF\xBB\xBF<?xml"), 0) << gpx;
  size_t waypoints = 0;
  for (size_t at = gpx.find("<wpt "); at != std::string::npos; at = gpx.find("<wpt ", at + 1))
    ++waypoints;
  EXPECT_EQ(waypoints, 4u) << gpx;

  EnterAddress("LONDON");
  ASSERT_NE(W().map()->Url(), url);
  chosen = files.Sub("places.txt");
  Click(W().btOpen());
  EXPECT_TRUE(Status().empty()) << Status();
  EXPECT_EQ(W().map()->Url(), url);
  ASSERT_EQ(Shapes().Markers()->Count(), 6);
  EXPECT_EQ(W().place()->count(), 0);
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);
  ExpectAreaAroundPin(1000);
  EXPECT_EQ(asked, (std::vector<bool>{true, true, false}));

  // A cancelled dialog, a file that is not there, a folder that is not there.
  chosen = "";
  Click(W().btOpen());
  Click(W().btSave());
  EXPECT_EQ(Shapes().Markers()->Count(), 6);
  EXPECT_TRUE(Status().empty());
  chosen = files.Sub("missing.txt");
  Click(W().btOpen());
  EXPECT_EQ(Status(), "Could not open the map " + chosen);
  EXPECT_EQ(W().map()->Url(), url);
  chosen = files.Sub("no/folder/map.txt");
  Click(W().btSave());
  EXPECT_EQ(Status(), "Could not save the map to " + chosen);
}

// "Export picture…" writes the map in the kind the extension names, and a
// place that cannot be written is reported with its reason.
TEST_F(DemoWindowTest, ExportPictureByExtension) {
  TScratchDir files;
  std::string chosen;
  W().SetFileChooser([&](bool) { return chosen; });
  const struct {
    const char* name;
    std::string magic;
  } cases[] = {{"map.png", "\x89PNG"}, {"map.PDF", "%PDF"}, {"map.svg", "<?xml"}};
  for (const auto& c : cases) {
    chosen = files.Sub(c.name);
    Click(W().btExport());
    EXPECT_TRUE(Status().empty()) << Status();
    std::ifstream in(chosen, std::ios::binary);
    std::string head(8, '\0');
    in.read(&head[0], 8);
    EXPECT_EQ(head.compare(0, c.magic.size(), c.magic), 0) << c.name;
  }
  chosen = files.Sub("no/folder/map.pdf");
  Click(W().btExport());
  EXPECT_EQ(Status().rfind("Could not export the picture: cannot write " + chosen, 0), 0u)
      << Status();
}

// A track file holds no view: opening one frames its shapes, opening a
// second replaces the first one's shapes, and an unreadable one says so and
// leaves view and shapes alone.
TEST_F(DemoWindowTest, OpeningATrackFileFramesIt) {
  TScratchDir files;
  std::string chosen;
  W().SetFileChooser([&](bool) { return chosen; });
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(files.Sub(name), std::ios::binary) << text;
    return files.Sub(name);
  };
  const std::string walk =
      write("walk.gpx",
            "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\">"
            "<wpt lat=\"-33.8568\" lon=\"151.2153\"><name>Opera</name></wpt><trk><trkseg>"
            "<trkpt lat=\"-33.8568\" lon=\"151.2153\"/><trkpt lat=\"-33.8523\" lon=\"151.2108\"/>"
            "</trkseg></trk></gpx>");
  const std::string ride =
      write("ride.geojson",
            "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\","
            "\"coordinates\":[[13.37,52.51],[13.40,52.52]]},\"properties\":{}}");

  // Read in the background: the status says so until the shapes arrived.
  chosen = walk;
  Click(W().btOpen());
  EXPECT_EQ(Status(), "Opening " + walk + "\xE2\x80\xA6");
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  TWyShapes* opened = W().map()->ShapesGroup().getShapes("opened");
  EXPECT_EQ(opened->Markers()->Count(), 1);
  EXPECT_EQ(opened->Lines()->Count(), 1);
  EXPECT_NEAR(W().map()->Center().Lat, -33.8545, 0.01);
  EXPECT_NEAR(W().map()->Center().Lng, 151.213, 0.01);
  EXPECT_GE(W().map()->Zoom(), 13);
  EXPECT_NEAR(Marker(0)->Latitude(), W().map()->Center().Lat, 1e-9);

  chosen = ride;
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  EXPECT_EQ(opened->Markers()->Count(), 0);
  EXPECT_EQ(opened->Lines()->Count(), 1);
  EXPECT_NEAR(W().map()->Center().Lng, 13.385, 0.01);

  const std::string url = W().map()->Url();
  chosen = write("broken.gpx", "<gpx><trk><trkseg><trkpt lat=\"x\"");
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status() == "Could not open the map " + chosen; }, 5000))
      << Status();
  EXPECT_EQ(W().map()->Url(), url);

  // Opening another file while one is still being read: only the second
  // one is shown and framed.
  chosen = walk;
  Click(W().btOpen());
  chosen = ride;
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  WaitProcessing(50);
  EXPECT_EQ(opened->Markers()->Count(), 0);
  EXPECT_EQ(opened->Lines()->Count(), 1);
  EXPECT_NEAR(W().map()->Center().Lng, 13.385, 0.01);
}

// An opened track file lists its tracks with their figures under the map;
// the chosen one's profile follows the pointer with a dot on the map. A
// file without tracks hides the panel.
TEST_F(DemoWindowTest, OpenedTracksShowTheirFiguresAndProfile) {
  TScratchDir files;
  std::string chosen;
  W().SetFileChooser([&](bool) { return chosen; });
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(files.Sub(name), std::ios::binary) << text;
    return files.Sub(name);
  };
  std::string points;
  for (int i = 0; i <= 100; ++i)
    points += "<trkpt lat=\"" + std::to_string(45 + i * 0.0001) + "\" lon=\"6\"><ele>" +
              std::to_string(1000 + i) + "</ele></trkpt>";
  const std::string hike =
      write("hike.gpx", "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\"><trk><trkseg>" +
                            points +
                            "</trkseg></trk><trk><trkseg><trkpt lat=\"45\" lon=\"6.01\"/>"
                            "<trkpt lat=\"45.001\" lon=\"6.01\"/></trkseg></trk></gpx>");
  const std::string place = write("place.gpx",
                                  "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\">"
                                  "<wpt lat=\"45\" lon=\"6\"><name>Hut</name></wpt></gpx>");
  TTrackPanel* panel = W().tracks();
  EXPECT_FALSE(panel->isVisible());

  chosen = hike;
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  ASSERT_TRUE(panel->isVisible());
  ASSERT_EQ(panel->List()->count(), 2);
  EXPECT_EQ(panel->List()->item(0)->text().toStdString(), "Track 1\n1.11 km  +100 m");
  EXPECT_EQ(panel->Chosen(), 0);
  EXPECT_NE(panel->Figures()->text().toStdString().find("Ascent 100 m"), std::string::npos);
  EXPECT_NE(panel->Figures()->text().toStdString().find("no time"), std::string::npos);

  TTrackProfileWidget* profile = panel->Profile();
  profile->repaint();
  const QPoint at(static_cast<int>(profile->Profile().XOfIndex(40)), profile->height() / 2);
  QTest::mouseMove(profile, at);
  ASSERT_EQ(profile->CursorIndex(), 40);
  ASSERT_NE(panel->Link()->CursorDot(), nullptr);
  EXPECT_NEAR(panel->Link()->CursorDot()->Latitude(), 45.004, 1e-9);

  // The second track: no elevations.
  const QRect second = panel->List()->visualItemRect(panel->List()->item(1));
  QTest::mouseClick(panel->List()->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
  EXPECT_EQ(panel->Chosen(), 1);
  EXPECT_EQ(profile->Profile().Count(), 2u);
  EXPECT_NE(panel->Figures()->text().toStdString().find("no elevation"), std::string::npos);

  chosen = place;
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(panel->TrackCount(), 0);
}

// A track without elevations offers to fetch them, only when asked: batched
// requests to the elevation service, the button cancelling while they run.
TEST_F(DemoWindowTest, ElevationsOfATrackAreFetchedOnRequestAndCancellable) {
  TFixtureServer server;
  int requests = 0;
  server.Handle("/oe/api/v1/lookup", [&](const TFixtureRequest& request, httplib::Response& r) {
    ++requests;
    const std::string locations = request.Params.find("locations")->second;
    std::string body = "{\"results\":[";
    size_t start = 0;
    for (int k = 0;; ++k) {
      const size_t bar = locations.find('|', start);
      const double lat = std::stod(locations.substr(start, locations.find(',', start) - start));
      body += (k ? "," : "") + std::string("{\"elevation\":") +
              std::to_string(static_cast<int>(std::lround((lat - 45) * 100000))) + "}";
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    r.set_content(body + "]}", "application/json");
  });
  SetEndpoint("open-elevation", server.Url("/oe"));
  SetSetting("timeout.elevation-pause", "20");
  TScratchDir files;
  std::string chosen;
  W().SetFileChooser([&](bool) { return chosen; });
  std::string points;
  for (int i = 0; i <= 100; ++i)
    points += "<trkpt lat=\"" + std::to_string(45 + i * 0.0001) + "\" lon=\"6\"/>";
  chosen = files.Sub("flat.gpx");
  std::ofstream(chosen) << "<?xml version=\"1.0\"?><gpx version=\"1.1\"><trk><trkseg>" + points +
                               "</trkseg></trk></gpx>";
  Click(W().btOpen());
  ASSERT_TRUE(PumpUntil([&] { return Status().empty(); }, 5000)) << Status();
  TTrackPanel* panel = W().tracks();
  ASSERT_EQ(panel->TrackCount(), 1);
  EXPECT_EQ(requests, 0);  // nothing asked on opening
  QPushButton* fetch = panel->FetchButton();
  ASSERT_TRUE(fetch->isVisible());

  // Cancelled after the first answer.
  QTimer::singleShot(5, fetch, [&] { QTest::mouseClick(fetch, Qt::LeftButton); });
  QTest::mouseClick(fetch, Qt::LeftButton);
  EXPECT_GE(requests, 1);
  EXPECT_LT(requests, 5);
  EXPECT_NE(panel->Figures()->text().toStdString().find("Elevations: cancelled"),
            std::string::npos);

  // The whole track: 100 steps in requests of 20 steps (21 points); those
  // answered before come from the cache.
  const int asked = requests;
  requests = 0;
  ASSERT_TRUE(fetch->isVisible());
  QTest::mouseClick(fetch, Qt::LeftButton);
  EXPECT_EQ(requests, 5 - asked);
  EXPECT_EQ(fetch->text().toStdString(), "Fetch elevations");
  EXPECT_FALSE(fetch->isVisible());
  EXPECT_NE(panel->Figures()->text().toStdString().find("Ascent 1000 m"), std::string::npos)
      << panel->Figures()->text().toStdString();
}

}  // namespace
}  // namespace wy
