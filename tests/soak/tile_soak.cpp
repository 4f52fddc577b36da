// tile_soak: the map panning, zooming and repainting for many minutes while
// a loopback tile server answers at random with every kind of failure. Then
// the map moves to a view it has not shown before and stays there while
// every request fails, until its tiles wait the longest retry back-off;
// then the server behaves and the map is kept still for longer than that
// back-off. Every tile of the view must then be drawn right, without the
// view having moved. Prints the requests by answer kind, the resident memory and the
// tile caches once a minute, and at the end whether the resident memory
// levelled off after the warm-up.
//
//   tile_soak [--chaos-minutes M] [--seed N] [--retry-max-ms MS]
//             [--fail-seconds S] [--settle-seconds S] [--warmup-minutes M]
//             [--report-seconds S] [--log-level LEVEL]
//
// Exit code 0 only when every tile of the final view is right. Not part of
// the test suite: it runs for many minutes (README, "Soak run").

#include <unistd.h>

#include <QApplication>
#include <QRect>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geo/settings.h"
#include "map/map_control.h"
#include "map/map_test_support.h"
#include "platform/log.h"
#include "platform/window_thread.h"
#include "soak/chaos_tile_server.h"
#include "tiles/tile_disk_cache.h"
#include "tiles/tile_server.h"

namespace wy {
namespace soak {
namespace {

using TClock = std::chrono::steady_clock;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
// The final view, at a zoom level the chaos never shows (its tiles are in
// no cache when the failing starts).
constexpr double kFinalLat = 48.85;
constexpr double kFinalLng = 2.35;
constexpr uint8_t kFinalZoom = 13;
constexpr uint8_t kLowestZoom = 3;
constexpr uint8_t kHighestZoom = 12;
constexpr uint8_t kChaosStartZoom = 7;
// Download time-outs of the soak: a stall is shorter than the no-progress
// limit, a stall past the time-out longer.
constexpr uint32_t kLowSpeedMs = 3000;
constexpr uint32_t kStallMs = 2000;
constexpr uint32_t kPastTimeoutMs = 4500;

struct TOptions {
  double ChaosMinutes = 10;
  uint64_t Seed = 0;
  bool SeedGiven = false;
  uint32_t RetryMaxMs = 5000;
  double SettleSeconds = -1;  // < 0: twice the retry cap plus 20 s
  double FailSeconds = -1;    // < 0: twice the retry cap plus 10 s
  double WarmupMinutes = 2;
  double ReportSeconds = 60;
  std::string LogLevel = "error";
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "tile_soak: %s needs a value\n", name.c_str());
      return false;
    }
    const std::string value = argv[++i];
    if (name == "--chaos-minutes") {
      options.ChaosMinutes = std::atof(value.c_str());
    } else if (name == "--seed") {
      options.Seed = std::strtoull(value.c_str(), nullptr, 10);
      options.SeedGiven = true;
    } else if (name == "--retry-max-ms") {
      options.RetryMaxMs = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (name == "--settle-seconds") {
      options.SettleSeconds = std::atof(value.c_str());
    } else if (name == "--fail-seconds") {
      options.FailSeconds = std::atof(value.c_str());
    } else if (name == "--warmup-minutes") {
      options.WarmupMinutes = std::atof(value.c_str());
    } else if (name == "--report-seconds") {
      options.ReportSeconds = std::atof(value.c_str());
    } else if (name == "--log-level") {
      options.LogLevel = value;
    } else {
      std::fprintf(stderr, "tile_soak: unknown option %s\n", name.c_str());
      return false;
    }
  }
  if (options.RetryMaxMs == 0 || options.ReportSeconds <= 0) {
    std::fprintf(stderr, "tile_soak: --retry-max-ms and --report-seconds must be positive\n");
    return false;
  }
  if (options.SettleSeconds < 0) options.SettleSeconds = 2.0 * options.RetryMaxMs / 1000 + 20;
  if (options.FailSeconds < 0) options.FailSeconds = 2.0 * options.RetryMaxMs / 1000 + 10;
  return true;
}

// Resident memory in bytes, from /proc/self/statm.
uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

double Mib(uint64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct TRssSample {
  double Seconds;
  uint64_t Bytes;
};

class TSoak {
 public:
  TSoak(const TOptions& options, TChaosTileServer& server, const std::string& cacheDir)
      : FOptions(options), FServer(server), FRandom(options.Seed) {
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(kWidth, kHeight);
    FMap = new TWyVuroduDav(FWindow.get());
    FMap->setGeometry(0, 0, kWidth, kHeight);
    FMap->SetLocalCache(cacheDir);
    FWindow->show();
    FMap->SetZoom(kChaosStartZoom);
    FMap->setCenter(kFinalLat, kFinalLng);
    FStart = TClock::now();
    FNextReport = FOptions.ReportSeconds;
  }
  ~TSoak() {
    // The map (a child of the window) goes with the window, before the
    // server it downloads from.
    FWindow.reset();
  }

  // Pans, zooms and repaints at random for `seconds`.
  void Chaos(double seconds) {
    const double end = Elapsed() + seconds;
    while (Elapsed() < end) {
      switch (Below(10)) {
        case 0:
        case 1:
        case 2:
        case 3:
          Drag();
          break;
        case 4:
        case 5:
          Step();
          break;
        case 6:
          Zoom();
          break;
        case 7:
          Wheel();
          break;
        case 8:
          Jump();
          break;
        default:
          break;  // stay a moment
      }
      Breathe(10 + Below(60));
    }
  }

  // Keeps the map at the final view for `seconds`, repainting now and then.
  // Returns how long it took until every tile was right (< 0: never).
  double HoldFinalView(double seconds) {
    GoToFinalView();
    const double start = Elapsed(), end = start + seconds;
    double right = -1;
    while (Elapsed() < end) {
      Breathe(50);
      if (right < 0 && WrongTiles(false) == 0) right = Elapsed() - start;
    }
    return right;
  }

  // Samples every tile of the final view in a screenshot; prints each wrong
  // one. True when all are right.
  bool CheckFinalView() {
    for (int i = 0; i < 200 && !FMap->TilesSettled(); ++i) WaitProcessing(20);
    FMap->RedrawMap(false);
    return WrongTiles(true) == 0;
  }

  // The tiles of the view whose sample is not their colour (-1: the view
  // shows no tile).
  int WrongTiles(bool print) {
    const QImage frame = FMap->ScreenShot();
    const QRect attribution = FMap->CopyrightRect();
    const int z = FMap->Zoom();
    const int64_t x0 = FMap->FX(), y0 = FMap->FY();
    int right = 0, wrong = 0;
    for (int64_t ty = (-y0) / 256; ty * 256 + y0 < kHeight; ++ty) {
      for (int64_t tx = (-x0) / 256; tx * 256 + x0 < kWidth; ++tx) {
        const QRect tile(static_cast<int>(tx * 256 + x0), static_cast<int>(ty * 256 + y0), 256,
                         256);
        const QRect visible = tile.intersected(QRect(0, 0, kWidth, kHeight));
        if (visible.isEmpty()) continue;
        // The centre of the tile's visible part; a point above the
        // attribution when that covers it.
        QPoint at = visible.center();
        if (attribution.contains(at)) at.setY(std::max(visible.top(), attribution.top() - 2));
        if (attribution.contains(at)) continue;
        const QRgb want =
            SoakTileColor(static_cast<int>(tx), static_cast<int>(ty), z) | 0xFF000000u;
        const QRgb got = frame.pixel(at) | 0xFF000000u;
        if (got == want) {
          ++right;
          continue;
        }
        ++wrong;
        if (!print) continue;
        std::printf("WRONG tile %d/%lld/%lld at (%d, %d): %s, want %s (cell state %d)\n", z,
                    static_cast<long long>(tx), static_cast<long long>(ty), at.x(), at.y(),
                    QColor(got).name().toStdString().c_str(),
                    QColor(want).name().toStdString().c_str(),
                    FMap->DisplayMapTiles().getTile(static_cast<int>(tx), static_cast<int>(ty)));
      }
    }
    if (print) std::printf("final view: zoom %d, %d tiles right, %d wrong\n", z, right, wrong);
    return right == 0 ? -1 : wrong;
  }

  void Report(const char* phase) {
    const uint64_t rss = ResidentBytes();
    TVuroduDavServer& tiles = FMap->MapServer();
    TTileDiskCache* disk = tiles.DiskCache();
    std::printf(
        "[%7.1f s] %s: requests %llu (%s); RSS %.1f MiB; memory cache %d tiles, decoded %d "
        "(%.1f MiB), enlarged %d; disk cache %zu tiles (%.2f MiB); downloads %d\n",
        Elapsed(), phase, static_cast<unsigned long long>(FServer.Total()),
        FServer.CountsText().c_str(), Mib(rss), tiles.CacheCount(), tiles.DecodedCount(),
        Mib(tiles.DecodedCacheBytes()), tiles.ScaledCount(), disk ? disk->TileCount() : size_t{0},
        disk ? Mib(disk->Bytes()) : 0.0, tiles.ActiveDownloads());
    std::fflush(stdout);
  }

  // Resident memory after the warm-up: lowest, highest, and whether the
  // last third's highest stays within a small margin of the first third's.
  bool SummariseMemory() {
    const double warmup = FOptions.WarmupMinutes * 60;
    TVuroduDavServer& tiles = FMap->MapServer();
    if (!FSamples.empty())
      std::printf(
          "RSS at the start %.1f MiB; budgets: decoded tiles %.1f MiB, memory cache %d tiles\n",
          Mib(FSamples.front().Bytes), Mib(tiles.DecodedCacheBudget()), tiles.CacheSize());
    std::vector<TRssSample> after;
    for (const auto& s : FSamples)
      if (s.Seconds >= warmup) after.push_back(s);
    if (after.size() < 3) {
      std::printf("RSS: too few samples after the %.1f min warm-up to judge\n",
                  FOptions.WarmupMinutes);
      return false;
    }
    uint64_t low = UINT64_MAX, high = 0;
    for (const auto& s : after) {
      low = std::min(low, s.Bytes);
      high = std::max(high, s.Bytes);
    }
    const size_t third = after.size() / 3;
    uint64_t firstHigh = 0, lastHigh = 0;
    for (size_t i = 0; i < third; ++i) firstHigh = std::max(firstHigh, after[i].Bytes);
    for (size_t i = after.size() - third; i < after.size(); ++i)
      lastHigh = std::max(lastHigh, after[i].Bytes);
    const uint64_t margin = std::max<uint64_t>(firstHigh / 20, 8u << 20);
    const bool level = lastHigh <= firstHigh + margin;
    std::printf(
        "RSS after the %.1f min warm-up (%zu samples): min %.1f MiB, max %.1f MiB; first third "
        "max %.1f MiB, last third max %.1f MiB (margin %.1f MiB): %s\n",
        FOptions.WarmupMinutes, after.size(), Mib(low), Mib(high), Mib(firstHigh), Mib(lastHigh),
        Mib(margin), level ? "levelled off" : "STILL GROWING");
    return level;
  }

 private:
  double Elapsed() const { return std::chrono::duration<double>(TClock::now() - FStart).count(); }
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(FRandom() % bound); }
  int Between(int low, int high) { return low + static_cast<int>(Below(high - low + 1)); }

  // Lets queued calls and window events run, paints, samples memory and
  // reports when due.
  void Breathe(uint32_t ms) {
    WaitProcessing(ms);
    QApplication::processEvents();
    FMap->ScreenShot();
    if (Elapsed() >= FNextSample) {
      FSamples.push_back({Elapsed(), ResidentBytes()});
      FNextSample += 5;
      FServer.ForgetRequests();
    }
    if (Elapsed() >= FNextReport) {
      static const char* const kModes[] = {"chaos", "failing", "behave"};
      Report(kModes[FServer.Mode()]);
      FNextReport += FOptions.ReportSeconds;
    }
  }

  // A drag as the window system delivers it: press, a few moves, release.
  void Drag() {
    QPoint at(Between(100, kWidth - 100), Between(100, kHeight - 100));
    const QPoint step(Between(-40, 40), Between(-40, 40));
    maptest::Pointer::mousePress(FMap, Qt::LeftButton, Qt::NoModifier, at);
    for (int i = Between(2, 8); i > 0; --i) {
      at += step;
      maptest::Pointer::mouseMove(FMap, at);
      Breathe(5);
    }
    maptest::Pointer::mouseRelease(FMap, Qt::LeftButton, Qt::NoModifier, at);
  }
  // A short step of the centre, kept near the final view's area.
  void Step() {
    const TLatLng c = FMap->Center();
    double lat = c.Lat + (Between(-100, 100) / 100.0) * 180.0 / (1 << FMap->Zoom());
    double lng = c.Lng + (Between(-100, 100) / 100.0) * 360.0 / (1 << FMap->Zoom());
    lat = std::clamp(lat, kFinalLat - 20, kFinalLat + 20);
    lng = std::clamp(lng, kFinalLng - 30, kFinalLng + 30);
    FMap->setCenter(lat, lng);
  }
  void Zoom() { FMap->SetZoom(static_cast<uint8_t>(Between(kLowestZoom, kHighestZoom))); }
  void Wheel() {
    const QPoint at(Between(50, kWidth - 50), Between(50, kHeight - 50));
    const int delta = Below(2) == 0 ? 120 : -120;
    if ((delta > 0 && FMap->Zoom() >= kHighestZoom) || (delta < 0 && FMap->Zoom() <= kLowestZoom))
      return;
    QWheelEvent event(QPointF(at), QPointF(FMap->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(FMap, &event);
  }
  void Jump() { FMap->setCenter(kFinalLat + Between(-20, 20), kFinalLng + Between(-30, 30)); }
  void GoToFinalView() {
    FMap->SetZoom(kFinalZoom);
    FMap->setCenter(kFinalLat, kFinalLng);
  }

  const TOptions& FOptions;
  TChaosTileServer& FServer;
  std::mt19937_64 FRandom;
  std::unique_ptr<QWidget> FWindow;
  TWyVuroduDav* FMap = nullptr;  // owned by FWindow
  TClock::time_point FStart;
  double FNextReport = 60;
  double FNextSample = 0;
  std::vector<TRssSample> FSamples;
};

void ApplySettings(const TOptions& options, const TChaosTileServer& server) {
  SetSetting("log.level", options.LogLevel);
  ApplyLogLevelSetting();
  SetEndpoint("osm", server.TileUrlTemplate());
  SetSetting("tiles.retry-max-ms", std::to_string(options.RetryMaxMs));
  SetSetting("tiles.host-pause", "1000");
  SetSetting("tiles.host-pause-max", "5000");
  // A small disk cache, so that its evictions take part.
  SetSetting("tiles.disk-cache-bytes", "300000");
  SetSetting("timeout.connect", "2000");
  SetSetting("timeout.tile-low-speed", std::to_string(kLowSpeedMs));
  SetSetting("timeout.tile-total", "10000");
}

int Run(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) return 2;
  if (!options.SeedGiven) options.Seed = std::random_device()();
  TChaosTileServer server(options.Seed, kStallMs, kPastTimeoutMs);
  if (!server.Running()) {
    std::fprintf(stderr, "tile_soak: the loopback server did not start\n");
    return 2;
  }
  QTemporaryDir cache;
  if (!cache.isValid()) {
    std::fprintf(stderr, "tile_soak: no temporary folder\n");
    return 2;
  }
  ApplySettings(options, server);
  std::printf(
      "tile_soak: seed %llu, chaos %.1f min, %.0f s of failing answers at the final view, then "
      "%.0f s of a behaving server (retry cap %u ms), warm-up %.1f min, view %d x %d\n",
      static_cast<unsigned long long>(options.Seed), options.ChaosMinutes, options.FailSeconds,
      options.SettleSeconds, options.RetryMaxMs, options.WarmupMinutes, kWidth, kHeight);
  std::fflush(stdout);

  bool right = false, level = false;
  {
    TSoak soak(options, server, cache.path().toStdString());
    soak.Chaos(options.ChaosMinutes * 60);
    soak.Report("end of chaos");
    // The final view's tiles fail until each waits the longest back-off.
    server.SetMode(TChaosTileServer::smFailing);
    if (soak.HoldFinalView(options.FailSeconds) >= 0)
      std::printf("odd: the final view was right while every answer failed\n");
    soak.Report("end of failing");
    const uint64_t before = server.Total();
    server.SetMode(TChaosTileServer::smBehaving);
    const double recovered = soak.HoldFinalView(options.SettleSeconds);
    soak.Report("end");
    std::printf("behaving server: %llu requests; the still view was right after %.1f s\n",
                static_cast<unsigned long long>(server.Total() - before), recovered);
    right = soak.CheckFinalView();
    level = soak.SummariseMemory();
  }
  std::printf("requests by answer kind: %s\n", server.CountsText().c_str());
  std::printf("result: tiles %s, memory %s\n", right ? "all right" : "WRONG",
              level ? "levelled off" : "not levelled off (see above)");
  std::fflush(stdout);
  return right ? 0 : 1;
}

}  // namespace
}  // namespace soak
}  // namespace wy

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  return wy::soak::Run(argc, argv);
}
