// The demonstration window after "Find places" brings 100 places: the time
// from the moment the window is handed the result (its places handler,
// mapPlacesSearch, called on the window thread when the search ends) until
// the 100 markers are on the map, the list is filled, the first place's tags
// are in the grid with its info window on the map, and the map and the
// window have been drawn once.
//
// Everything comes from a loopback server answering from memory: the places
// answer (100 nodes of shops, restaurants and doctors' practices, with
// names, inside the search box), the reverse geocoding, the icons (the
// demo's own PNG files) and the tiles. Warm-up runs before any timing fill
// the icon pool, the tile caches and the disk cache of the reverse
// geocoding, so the timed part makes no request; the "requests" counter
// shows any that slipped in, "placeholder_cells" any tile cell the render
// could not draw for real. The search itself (the worker, the places
// request) runs before the handler and is never timed.
//
// The handler begins with a fixed pause: it lets the event loop run for
// 100 ms before it adds the markers. The counters of the main benchmark
// split each run (means per run):
//   pause_ms       handler entry -> first list item: the pause, plus clearing
//                  the old markers and adding the pin, the selection marker
//                  and the info window again (microseconds)
//   markers_ms     -> the grid starts filling: the 100 markers with their
//                  icons, tags and hints, the 100 list items, the end of the
//                  bulk update (the shapes' draw list rebuilt)
//   details_ms     -> the handler returns: the grid, the blinking selection
//                  marker, the address (reverse geocoding, from the disk
//                  cache), the info window, the fit to the place
//   render_ms      one full map render (tiles, area, markers, info window)
//   paint_ms       the whole window painted (list, grid, map frame copy)
//   excl_pause_ms  all of the above except pause_ms
//   cells_drawn    tile cells the render drew (all from the memory cache)
//
// Beside it:
//  - the same run without the explicit render: from the handler's entry
//    until the map draws its next frame by itself. Its repaint throttle
//    allows one full render per 200 ms, checked on a 20 ms timer, so each
//    run clicks at a different point of that beat, as a user would;
//    until_frame_ms is the mean wait after the handler, until_frame_max_ms
//    the longest, renders_in_pause the map's own renders inside the pause;
//  - ShowPlace(0) again on its own, and the reverse geocoding from the disk
//    cache on its own;
//  - one full render with all 100 markers in view, and the same view with
//    the places cleared (the difference is what the markers cost).
//
// Run: demo_bench --benchmark_repetitions=5 (medians in the *_median rows).
#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "demo/demo_window.h"
#include "demo/demo_window_test_access.h"
#include "geo/geodesy.h"
#include "geo/settings.h"
#include "map/map_control.h"
#include "platform/window_thread.h"
#include "services/geo_localise.h"
#include "services/mapquest_services.h"
#include "services/places.h"
#include "services/rate_limit.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"
#include "support/bench_main.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "support/test_helpers.h"
#include "tiles/graphic_pool.h"
#include "tiles/tile_server.h"

namespace {

using namespace wy;
using test_support::PumpUntil;
using test_support::TScratchDir;
using TClock = std::chrono::steady_clock;

constexpr int kPlaces = 100;
constexpr int kRunsPerRepetition = 10;
const char kReversePath[] = "/nominatim/v1/reverse";
const char kXapiPath[] = "/api/xapi";
const char* const kIcons[] = {"red-pushpin.png", "restaurant.png", "doctor.png", "supermarket.png"};

double Ms(TClock::time_point from, TClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// 100 nodes inside the 1000 m box around the window's start position, in
// turn a shop, a restaurant and a doctors' practice, each named, some with
// opening hours, a street and a phone number; the first one has the most
// tags, for the grid.
std::string PlacesAnswer() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<osm version=\"0.6\" generator=\"Overpass API\">\n"
      "<note>The data included in this document is from www.openstreetmap.org.</note>\n";
  const char* const shops[] = {"supermarket", "bakery", "butcher", "chemist"};
  const char* const cuisines[] = {"french", "pizza", "regional"};
  unsigned seed = 11;
  char line[160];
  for (int i = 0; i < kPlaces; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double lat =
        TFZeduZavireRozuviduTestAccess::kStartLatitude - 0.007 + (seed % 14001) / 1e6;
    const double lng =
        TFZeduZavireRozuviduTestAccess::kStartLongitude - 0.010 + ((seed >> 9) % 20001) / 1e6;
    std::snprintf(line, sizeof line, "  <node id=\"%d\" lat=\"%.7f\" lon=\"%.7f\">\n", 5000 + i,
                  lat, lng);
    s += line;
    const std::string n = std::to_string(i);
    switch (i % 3) {
      case 0:
        s += "    <tag k=\"shop\" v=\"" + std::string(shops[(seed >> 4) % 4]) + "\"/>\n";
        s += "    <tag k=\"name\" v=\"Bio &amp; Co " + n + "\"/>\n";
        break;
      case 1:
        s += "    <tag k=\"amenity\" v=\"restaurant\"/>\n";
        s += "    <tag k=\"cuisine\" v=\"" + std::string(cuisines[(seed >> 4) % 3]) + "\"/>\n";
        s += "    <tag k=\"name\" v=\"Chez L&#233;a " + n + "\"/>\n";
        break;
      default:
        s += "    <tag k=\"amenity\" v=\"doctors\"/>\n";
        s += "    <tag k=\"name\" v=\"Cabinet du Dr Martin " + n + "\"/>\n";
        break;
    }
    if (i == 0 || (seed >> 12) % 2 == 0)
      s += "    <tag k=\"opening_hours\" v=\"Mo-Sa 08:30-19:30\"/>\n";
    if (i == 0 || (seed >> 13) % 3 == 0) {
      s += "    <tag k=\"addr:street\" v=\"Rue de l&apos;&#201;glise\"/>\n";
      s += "    <tag k=\"addr:housenumber\" v=\"" + std::to_string(1 + i % 40) + "\"/>\n";
    }
    if (i == 0) s += "    <tag k=\"phone\" v=\"+33 5 62 00 00 00\"/>\n";
    s += "  </node>\n";
  }
  s += "</osm>\n";
  return s;
}

// The demo's own icon file, or a plain stand-in of about its size when the
// file cannot be read.
std::string IconBytes(const std::string& name) {
  std::ifstream in(std::string(WY_DEMO_ICON_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return in && !bytes.str().empty() ? bytes.str() : SolidPng(qRgb(200, 0, 0), 32, 37);
}

// Moments of one run, from the handler's entry.
struct TRun {
  TClock::time_point Entry, FirstItem, GridFill, HandlerEnd, Rendered, Painted, OwnFrame;
  size_t Requests = 0;
  int RendersInHandler = 0;  // full map renders during the handler (its pause)
  int CellsToDraw = 0;       // tile cells the render had to draw
  int PlaceholderCells = 0;  // cells still without their real tile after it
};

// The shown window against the loopback server, warmed up.
class TDemoBench {
 public:
  // How a run ends after the handler.
  enum TFinish : uint8_t {
    fnRenderNow,      // one explicit full render of the map, then the window painted
    fnMapDrawsItself  // the event loop runs until the map renders by itself
  };

  TDemoBench() {
    ResetEndpointSlots();
    FServer.HandleRegex(R"(/osm/(\d+)/(\d+)/(\d+)\.png)", [](const TFixtureRequest& request,
                                                             httplib::Response& response) {
      const int x = std::stoi(request.Captures.at(1));
      const int y = std::stoi(request.Captures.at(2));
      response.set_content(SolidPng(qRgb(200 + x % 40, 210 + y % 40, 190)), "image/png");
    });
    for (const char* icon : kIcons)
      FServer.Serve(std::string("/icons/") + icon, IconBytes(icon), "image/png");
    FServer.Serve(kReversePath,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reversegeocode><result "
                  "place_id=\"1\">12 Rue de l'Église, 65300 Lannemezan, France</result>"
                  "</reversegeocode>\n",
                  "text/xml");
    FServer.Serve(kXapiPath, PlacesAnswer(), "text/xml");
    SetEndpoint("osm", FServer.Url("/osm/{z}/{x}/{y}.png"));
    SetEndpoint("nominatim", FServer.Url("/nominatim/v1"));
    SetEndpoint("xapi", FServer.Url("/api/xapi?"));
    SetEndpoint("xapi-fallback", FServer.RefusedUrl("/fallback/xapi/"));
    SetSetting("demo.icon-base", FServer.Url("/icons"));

    FWindow = std::make_unique<TFZeduZavireRozuvidu>(FCache.Path());
    W().geoLocalise().MapQuestServices().SetKey("K");
    FWindow->show();
    WaitProcessing(50);
    W().geoLocalise().OnSearch = [this](TWyGeoLocalise*) { Handle(); };
    // The list's first item marks the end of the pause; the grid's first
    // new row marks the end of the markers and the list.
    QObject::connect(W().place()->model(), &QAbstractItemModel::rowsInserted, FWindow.get(),
                     [this] {
                       if (FArmed && FRun.FirstItem == TClock::time_point()) FRun.FirstItem = Now();
                     });
    QObject::connect(W().results()->model(), &QAbstractItemModel::rowsInserted, FWindow.get(),
                     [this] {
                       if (FArmed && FRun.GridFill == TClock::time_point()) FRun.GridFill = Now();
                     });

    // The icons decoded in the shared pool, then two whole runs: the tiles
    // of the place's view and the address reach their caches.
    for (const char* icon : kIcons)
      W().map()->PreLoadGraphic(TFZeduZavireRozuviduTestAccess::IconFile(icon));
    FOk = PumpUntil([] {
      for (const char* icon : kIcons)
        if (SharedGraphicPool() == nullptr ||
            SharedGraphicPool()
                ->GetGraphic(TFZeduZavireRozuviduTestAccess::IconFile(icon))
                .isNull())
          return false;
      return true;
    });
    for (int i = 0; i < 3 && FOk; ++i) {
      TRun run;
      FOk = Run(fnRenderNow, run);
      WaitProcessing(300);  // tiles that were still coming
    }
    if (!FOk) std::fprintf(stderr, "demo_bench: the window could not be set up: %s\n", FError);
  }
  ~TDemoBench() {
    FWindow.reset();
    FServer.ReleaseAll();
    ResetSettings();
    ResetEndpointSlots();
  }

  bool Ok() const { return FOk; }
  const char* Error() const { return FError; }
  TFZeduZavireRozuviduTestAccess W() { return TFZeduZavireRozuviduTestAccess(*FWindow); }
  TWyShapes& Shapes() { return *W().map()->Shapes(); }

  // Clicks "Find places" and waits until the handler ran and the run ended
  // as `finish` says. False (with Error()) when the search or the outcome
  // is not as expected.
  bool Run(TFinish finish, TRun& run) {
    FRun = TRun();
    FFinish = finish;
    FHandled = false;
    if (!W().btFindPlaces()->isEnabled()) return Fail("Find places is disabled");
    if (finish == fnMapDrawsItself) {
      // The map's own renders come on a fixed beat (one every 200 ms, on a
      // 20 ms timer); a click right after the previous run's frame would
      // always land at the same point of it. A user clicks anywhere in it.
      FPhase = FPhase * 1103515245u + 12345u;
      WaitProcessing((FPhase >> 8) % 220);
    }
    W().btFindPlaces()->click();
    if (!PumpUntil([&] { return FHandled; })) return Fail("the places search did not end");
    if (finish == fnMapDrawsItself) {
      if (!PumpUntil([&] { return W().map()->RenderCount() > FRenderCountAtEnd; }, 2000))
        return Fail("the map did not draw by itself");
      FRun.OwnFrame = Now();
    }
    run = FRun;
    if (W().place()->count() != kPlaces) return Fail("the list does not hold 100 places");
    if (Shapes().Markers()->Count() != kPlaces + 2) return Fail("not 100 place markers");
    TWyShapeInfoWindow* info = Shapes().InfoWindows()->Items(0);
    if (info == nullptr || !info->Visible()) return Fail("no info window");
    if (info->Content().find("Lannemezan") == std::string::npos) return Fail("no address");
    if (W().results()->rowCount() < 5) return Fail("the grid is not filled");
    return true;
  }

  // Cells of the tile grid whose real tile was not drawn by the last render.
  int PlaceholderCells() {
    TDisplayMapTiles& grid = W().map()->DisplayMapTiles();
    int count = 0;
    for (int i = 0; i < grid.Width(); ++i)
      for (int j = 0; j < grid.Height(); ++j)
        if (grid.Cell(i, j) != 255) ++count;
    return count;
  }

  // Renders the current view until every tile is real (or 3 s pass).
  bool SettleTiles() {
    return PumpUntil(
        [&] {
          W().map()->DisplayMapTiles().Clear();
          W().map()->RedrawMap(false);
          return PlaceholderCells() == 0 && W().map()->MapServer().ActiveDownloads() == 0;
        },
        3000);
  }

  size_t Requests() const { return FServer.RequestCount(); }

 private:
  static TClock::time_point Now() { return TClock::now(); }

  bool Fail(const char* error) {
    FError = error;
    return false;
  }

  // The places handler as the window has it, with the moments around it.
  void Handle() {
    const size_t requests = FServer.RequestCount();
    FArmed = true;
    const int renders = W().map()->RenderCount();
    FRun.Entry = Now();
    W().mapPlacesSearch();
    FRun.HandlerEnd = Now();
    FArmed = false;
    FRun.RendersInHandler = W().map()->RenderCount() - renders;
    if (FFinish == fnRenderNow) {
      FRun.CellsToDraw = PlaceholderCells();
      W().map()->RedrawMap(false);
      FRun.Rendered = Now();
      FWindow->repaint();
      FRun.Painted = Now();
      FRun.PlaceholderCells = PlaceholderCells();
    }
    FRun.Requests = FServer.RequestCount() - requests;
    FRenderCountAtEnd = W().map()->RenderCount();
    FHandled = true;
  }

  TFixtureServer FServer;
  TScratchDir FCache;
  std::unique_ptr<TFZeduZavireRozuvidu> FWindow;
  TRun FRun;
  TFinish FFinish = fnRenderNow;
  bool FArmed = false;
  bool FHandled = false;
  int FRenderCountAtEnd = 0;
  uint32_t FPhase = 3;
  bool FOk = false;
  const char* FError = "";
};

std::unique_ptr<TDemoBench> gBench;

// Freed while the application still exists (its post routines run first
// thing in its destructor).
void FreeBench() {
  gBench.reset();
}

TDemoBench* Bench() {
  if (!gBench) {
    gBench = std::make_unique<TDemoBench>();
    qAddPostRoutine(FreeBench);
  }
  return gBench->Ok() ? gBench.get() : nullptr;
}

using benchmark::Counter;

// The bench after one whole run, the 100 places shown; null (the benchmark
// marked as failed) when that did not work.
TDemoBench* BenchShowingPlaces(benchmark::State& state) {
  TDemoBench* bench = Bench();
  TRun run;
  if (bench == nullptr)
    state.SkipWithError("window not set up");
  else if (!bench->Run(TDemoBench::fnRenderNow, run))
    state.SkipWithError(bench->Error());
  else
    return bench;
  return nullptr;
}

void BM_HundredPlacesShown(benchmark::State& state) {
  TDemoBench* bench = Bench();
  if (bench == nullptr) return state.SkipWithError("window not set up");
  double pause = 0, markers = 0, details = 0, render = 0, paint = 0, requests = 0, cells = 0,
         drawn = 0;
  for (auto _ : state) {
    TRun run;
    if (!bench->Run(TDemoBench::fnRenderNow, run)) return state.SkipWithError(bench->Error());
    state.SetIterationTime(Ms(run.Entry, run.Painted) / 1000);
    pause += Ms(run.Entry, run.FirstItem);
    markers += Ms(run.FirstItem, run.GridFill);
    details += Ms(run.GridFill, run.HandlerEnd);
    render += Ms(run.HandlerEnd, run.Rendered);
    paint += Ms(run.Rendered, run.Painted);
    requests += static_cast<double>(run.Requests);
    cells += run.PlaceholderCells;
    drawn += run.CellsToDraw;
  }
  state.counters["pause_ms"] = Counter(pause, Counter::kAvgIterations);
  state.counters["markers_ms"] = Counter(markers, Counter::kAvgIterations);
  state.counters["details_ms"] = Counter(details, Counter::kAvgIterations);
  state.counters["render_ms"] = Counter(render, Counter::kAvgIterations);
  state.counters["paint_ms"] = Counter(paint, Counter::kAvgIterations);
  state.counters["excl_pause_ms"] =
      Counter(markers + details + render + paint, Counter::kAvgIterations);
  state.counters["requests"] = Counter(requests, Counter::kAvgIterations);
  state.counters["placeholder_cells"] = Counter(cells, Counter::kAvgIterations);
  state.counters["cells_drawn"] = Counter(drawn, Counter::kAvgIterations);
}

void BM_HundredPlacesMapDrawsItself(benchmark::State& state) {
  TDemoBench* bench = Bench();
  if (bench == nullptr) return state.SkipWithError("window not set up");
  double handler = 0, untilFrame = 0, renders = 0, longest = 0;
  for (auto _ : state) {
    TRun run;
    if (!bench->Run(TDemoBench::fnMapDrawsItself, run)) return state.SkipWithError(bench->Error());
    state.SetIterationTime(Ms(run.Entry, run.OwnFrame) / 1000);
    handler += Ms(run.Entry, run.HandlerEnd);
    untilFrame += Ms(run.HandlerEnd, run.OwnFrame);
    renders += run.RendersInHandler;
    longest = std::max(longest, Ms(run.HandlerEnd, run.OwnFrame));
  }
  state.counters["handler_ms"] = Counter(handler, Counter::kAvgIterations);
  state.counters["until_frame_ms"] = Counter(untilFrame, Counter::kAvgIterations);
  state.counters["renders_in_pause"] = Counter(renders, Counter::kAvgIterations);
  state.counters["until_frame_max_ms"] = longest;
}

// The first place shown again: grid, selection marker, address from the
// disk cache, info window, fit.
void BM_ShowFirstPlaceAgain(benchmark::State& state) {
  TDemoBench* bench = BenchShowingPlaces(state);
  if (bench == nullptr) return;
  const size_t requests = bench->Requests();
  for (auto _ : state) {
    bench->W().ShowPlace(0);
    state.PauseTiming();
    ProcessPendingMessages();
    state.ResumeTiming();
  }
  state.counters["requests"] = static_cast<double>(bench->Requests() - requests);
}

void BM_ReverseFromDiskCache(benchmark::State& state) {
  TDemoBench* bench = BenchShowingPlaces(state);
  if (bench == nullptr) return;
  const TWyPlaceResult* first = bench->W().geoLocalise().Places().Results().Items(0);
  if (first == nullptr) return state.SkipWithError("no first place");
  const size_t requests = bench->Requests();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        bench->W().map()->GetAddressFromLatLng(first->Latitude(), first->Longitude()));
  }
  state.counters["requests"] = static_cast<double>(bench->Requests() - requests);
}

// One full render of the whole search area (all 100 markers in view), with
// the places (argument 1) or after "Clear all places" (argument 0).
void BM_RenderSearchArea(benchmark::State& state) {
  TDemoBench* bench = BenchShowingPlaces(state);
  if (bench == nullptr) return;
  const TFZeduZavireRozuviduTestAccess w = bench->W();
  if (state.range(0) == 0) w.btClear()->click();
  TWyShapeMarker* pin = bench->Shapes().Markers()->Items(0);
  if (pin == nullptr) return state.SkipWithError("no pin");
  double latSW = 0, lngSW = 0, latNE = 0, lngNE = 0;
  boundingCoordinates(pin->Latitude(), pin->Longitude(), 1.0, latSW, lngSW, latNE, lngNE);
  w.map()->fitBounds(latNE, lngNE, latSW, lngSW);
  if (!bench->SettleTiles()) return state.SkipWithError("tiles of the area not loaded");
  int inView = 0;
  for (int32_t i = 2; i < bench->Shapes().Markers()->Count(); ++i) {
    TWyShapeMarker* m = bench->Shapes().Markers()->Items(i);
    if (m && w.map()->ContainsLatLng(m->Latitude(), m->Longitude())) ++inView;
  }
  for (auto _ : state) {
    w.map()->DisplayMapTiles().Clear();
    w.map()->RedrawMap(false);
    state.PauseTiming();
    ProcessPendingMessages();
    state.ResumeTiming();
  }
  state.counters["markers_in_view"] = inView;
  state.counters["zoom"] = w.map()->Zoom();
}

BENCHMARK(BM_HundredPlacesShown)
    ->UseManualTime()
    ->Iterations(kRunsPerRepetition)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HundredPlacesMapDrawsItself)
    ->UseManualTime()
    ->Iterations(kRunsPerRepetition)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowFirstPlaceAgain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReverseFromDiskCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderSearchArea)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return wy::RunBenchmarks(argc, argv);
}
