#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "geo/global_lock.h"
#include "geo/settings.h"
#include "geo/url_host.h"
#include "platform/log.h"
#include "platform/map_messages.h"
#include "platform/tick.h"
#include "platform/window_thread.h"
#include "support/fixture_server.h"
#include "support/held_resolver.h"
#include "support/image_helpers.h"
#include "tiles/tile_download.h"
#include "tiles/tile_server.h"
#include "tiles/tile_server_fixture.h"

namespace wy {
namespace {

using namespace tile_test;

TEST_F(TileServerTest, DownloadLandsInBothCachesThenDiskHitNeedsNoRequest) {
  TVuroduDavServer& server = MakeServer();
  const QImage& first = server.GetTile(8, 5, 4);
  EXPECT_TRUE(IsPlaceholder(first));
  EXPECT_EQ(first.size(), QSize(256, 256));
  EXPECT_FALSE(server.TileOK());
  EXPECT_EQ(EventsWith(1), 0);

  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 1 && FRepaints >= 1; }));
  EXPECT_EQ(FEvents.back(), (std::array<int, 4>{8, 5, 4, 1}));
  ASSERT_EQ(FFixture.RequestCount(), 1u);
  const TFixtureRequest request = FFixture.Requests().at(0);
  EXPECT_EQ(request.Path, "/osm/4/8/5.png");
  EXPECT_EQ(request.UserAgent(), "wyVuroduDav");
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);
  // The tile and its record; no temporary file stays behind.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(TileFile(8, 5, 4)).parent_path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"5", "5.meta"}));

  const QImage& tile = server.GetTile(8, 5, 4);
  EXPECT_TRUE(server.TileOK());
  EXPECT_EQ(tile.pixel(10, 10), kTileColor);
  EXPECT_EQ(FEvents.back(), (std::array<int, 4>{8, 5, 4, 1}));

  // A second server over the same folder finds the file: no request.
  MakeServer();
  FEvents.clear();
  const QImage& fromDisk = FServer->GetTile(8, 5, 4);
  EXPECT_EQ(fromDisk.pixel(0, 0), kTileColor);
  EXPECT_TRUE(FServer->TileOK());
  EXPECT_EQ(FEvents, (std::vector<std::array<int, 4>>{{8, 5, 4, 1}}));
  EXPECT_EQ(FServer->CacheCount(), 1);
  Pump(100);
  EXPECT_EQ(FFixture.RequestCount(), 1u);
}

TEST_F(TileServerTest, MemoryCacheIsFirstInFirstOut) {
  TVuroduDavServer& server = MakeServer(false);
  server.SetCacheSize(2);
  Fetch(1, 1, 4);           // A
  Fetch(2, 1, 4);           // B
  server.GetTile(1, 1, 4);  // reading A does not keep it
  Fetch(3, 1, 4);           // C
  EXPECT_EQ(server.CacheCount(), 2);
  const size_t requests = FFixture.RequestCount();
  EXPECT_FALSE(IsPlaceholder(server.GetTile(3, 1, 4)));
  EXPECT_FALSE(IsPlaceholder(server.GetTile(2, 1, 4)));
  EXPECT_EQ(FFixture.RequestCount(), requests);
  server.SetCacheSize(1);  // trims at once: B, the older, goes
  EXPECT_EQ(server.CacheCount(), 1);
  EXPECT_FALSE(IsPlaceholder(server.GetTile(3, 1, 4)));
  EXPECT_TRUE(IsPlaceholder(server.GetTile(1, 1, 4)));  // A was stored out first
  EXPECT_TRUE(FFixture.WaitForRequests(requests + 1));
}

TEST_F(TileServerTest, DamagedDiskFileIsDeletedAndDownloadedAgain) {
  const std::string path = TileFile(8, 5, 4);
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << FTileBytes.substr(0, FTileBytes.size() / 2);
  TVuroduDavServer& server = MakeServer();
  EXPECT_TRUE(IsPlaceholder(server.GetTile(8, 5, 4)));
  EXPECT_FALSE(server.TileOK());
  EXPECT_EQ(EventsWith(1), 0);
  EXPECT_GE(EventsWith(0), 1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(server.CacheCount(), 0);
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);

  Fetch(8, 5, 4);
  EXPECT_EQ(ReadFile(path), FTileBytes);
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(1, 1), kTileColor);
}

// Answers that are not a whole tile are never stored nor reported loaded, and
// the tile is not asked for again before its back-off.
TEST_F(TileServerTest, BadAnswersAreNeverStored) {
  const std::string png = SolidPng(kTileColor);
  const struct {
    const char* What;
    std::function<void(TFixtureServer&)> Setup;
  } cases[] = {
      {"404", [](TFixtureServer& f) { f.ServeStatus("/osm/4/8/5.png", 404, "not found"); }},
      {"500 with a PNG body",
       [&](TFixtureServer& f) { f.Serve("/osm/4/8/5.png", png, "image/png", 500); }},
      {"HTML error page",
       [](TFixtureServer& f) {
         f.Serve("/osm/4/8/5.png", "<html><body>Rate limited</body></html>", "text/html");
       }},
      {"empty body", [](TFixtureServer& f) { f.Serve("/osm/4/8/5.png", "", "image/png"); }},
      {"cut short of Content-Length",
       [&](TFixtureServer& f) {
         f.ServeShort("/osm/4/8/5.png", png.substr(0, png.size() / 2),
                      static_cast<int64_t>(png.size()));
       }},
      {"truncated PNG",
       [&](TFixtureServer& f) {
         f.Serve("/osm/4/8/5.png", png.substr(0, png.size() - 12), "image/png");
       }},
      {"garbage",
       [](TFixtureServer& f) { f.Serve("/osm/4/8/5.png", TFixtureServer::Bytes(3000)); }},
  };
  std::atomic<uint32_t> tick{1000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    FFixture.ClearRequests();
    c.Setup(FFixture);
    TVuroduDavServer& server = MakeServer();
    FEvents.clear();
    server.GetTile(8, 5, 4);
    ASSERT_TRUE(FFixture.WaitForRequests(1));
    ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
    Pump(150);
    EXPECT_EQ(EventsWith(1), 0);
    EXPECT_EQ(FRepaints, 0);
    EXPECT_EQ(server.CacheCount(), 0);
    EXPECT_FALSE(fs::exists(TileFile(8, 5, 4)));
    EXPECT_TRUE(IsPlaceholder(server.GetTile(8, 5, 4)));
    Pump(50);
    EXPECT_EQ(FFixture.RequestCount(), 1u);  // back-off: not asked again yet
    FServer.reset();
    FFixture.RemoveRoute("/osm/4/8/5.png");
  }
}

// The server fails, then recovers: the tile comes back after its back-off
// without the view moving, each due retry announced by a repaint request.
TEST_F(TileServerTest, FailedTileIsRetriedAfterDoublingBackOff) {
  std::atomic<uint32_t> tick{5000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  std::atomic<bool> healthy{false};
  ServeOnceHealthy(healthy);
  TVuroduDavServer& server = MakeServer();
  auto failOnce = [&](size_t requests) {
    server.GetTile(8, 5, 4);
    ASSERT_TRUE(FFixture.WaitForRequests(requests));
    ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
  };
  failOnce(1);
  Pump(250);
  EXPECT_EQ(FRepaints, 0);

  tick += 1999;  // not yet due
  server.GetTile(8, 5, 4);
  Pump(250);
  EXPECT_EQ(FFixture.RequestCount(), 1u);
  EXPECT_EQ(FRepaints, 0);

  tick += 1;  // 2 s: due, a repaint is asked for, the next render retries
  ASSERT_TRUE(WaitUntil([&] { return FRepaints == 1; }));
  failOnce(2);

  tick += 3999;  // the back-off doubled to 4 s
  server.GetTile(8, 5, 4);
  Pump(250);
  EXPECT_EQ(FFixture.RequestCount(), 2u);
  EXPECT_EQ(FRepaints, 1);

  healthy = true;
  tick += 1;
  ASSERT_TRUE(WaitUntil([&] { return FRepaints == 2; }));
  EXPECT_TRUE(IsPlaceholder(server.GetTile(8, 5, 4)));
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 1; }));
  EXPECT_EQ(FFixture.RequestCount(), 3u);
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(3, 3), kTileColor);
  EXPECT_TRUE(server.TileOK());
}

// A lowered longest back-off stops the doubling there; below the first
// back-off it shortens that one too. Each wait is checked one millisecond
// short of its end (nothing asked) and at its end (asked again).
TEST_F(TileServerTest, LoweredRetryCapBoundsTheBackOff) {
  const struct {
    const char* Cap;
    std::vector<uint32_t> Waits;
  } cases[] = {
      {"3000", {2000, 3000, 3000}},
      {"500", {500, 500}},
      {"0", {2000, 4000}},  // not positive: the built-in maximum
  };
  std::atomic<uint32_t> tick{5000};
  TScopedTickSource tickSource([&] { return tick.load(); });
  std::atomic<bool> healthy{false};
  ServeOnceHealthy(healthy);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Cap);
    SetSetting("tiles.retry-max-ms", c.Cap);
    FFixture.ClearRequests();
    TVuroduDavServer& server = MakeServer(false);
    size_t requests = 0;
    auto failOnce = [&] {
      server.GetTile(8, 5, 4);
      ASSERT_TRUE(FFixture.WaitForRequests(++requests));
      ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
      Pump(150);  // the failure is recorded after the download ends
    };
    failOnce();
    for (uint32_t wait : c.Waits) {
      tick += wait - 1;
      server.GetTile(8, 5, 4);
      Pump(150);
      EXPECT_EQ(FFixture.RequestCount(), requests) << "asked again before " << wait << " ms";
      tick += 1;
      failOnce();
    }
    FServer.reset();
  }
}

// At most MaxThreadTile downloads, one per tile; destroying the server while
// they hang aborts them.
TEST_F(TileServerTest, WorkerCapDuplicatesAndPromptDestruction) {
  FFixture.Hold("gate");
  FFixture.HandleRegex(kTilePattern, [this](const TFixtureRequest&, httplib::Response& response) {
    FFixture.WaitRelease("gate");
    response.set_content(FTileBytes, "image/png");
  });
  TVuroduDavServer& server = MakeServer(false);
  for (int x = 0; x < 16; ++x) server.GetTile(x, 0, 5);
  server.GetTile(0, 0, 5);  // already downloading
  ASSERT_TRUE(FFixture.WaitForInFlight(16));
  FEvents.clear();
  const QImage& extra = server.GetTile(16, 0, 5);
  EXPECT_TRUE(IsPlaceholder(extra));
  EXPECT_FALSE(server.TileOK());
  EXPECT_EQ(FEvents, (std::vector<std::array<int, 4>>{{16, 0, 5, 0}}));
  Pump(200);
  EXPECT_EQ(FFixture.RequestCount(), 16u);
  EXPECT_EQ(server.ActiveDownloads(), 16);

  const auto start = std::chrono::steady_clock::now();
  FServer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(EventsWith(1), 0);
  FFixture.ReleaseAll();
}

// The per-host limit holds for one server's workers; connections are reused.
TEST_F(TileServerTest, PerHostConnectionLimitAndReuse) {
  FFixture.HandleRegex(kTilePattern, [this](const TFixtureRequest&, httplib::Response& response) {
    FFixture.SleepFor(100);
    response.set_content(FTileBytes, "image/png");
  });
  SetSetting("max-connections.127.0.0.1:" + std::to_string(FFixture.Port()), "2");
  TVuroduDavServer& server = MakeServer(false);
  for (int x = 0; x < 8; ++x) server.GetTile(x, 0, 6);
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 8; }));
  EXPECT_EQ(FFixture.MaxInFlight(), 2);
  std::set<int> ports;
  for (const auto& request : FFixture.Requests()) ports.insert(request.RemotePort);
  EXPECT_LE(ports.size(), 2u);  // eight tiles over two kept-alive connections

  // No setting: no limit.
  SetSetting("max-connections.127.0.0.1:" + std::to_string(FFixture.Port()), "");
  FFixture.ResetMaxInFlight();
  for (int x = 0; x < 8; ++x) server.GetTile(x, 1, 6);
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 16; }));
  EXPECT_GT(FFixture.MaxInFlight(), 2);
}

TEST_F(TileServerTest, ServiceChangeAndCancelDropDownloadsInFlight) {
  FFixture.Hold("gate");
  FFixture.HandleRegex(kTilePattern, [this](const TFixtureRequest&, httplib::Response& response) {
    FFixture.WaitRelease("gate", 3000);
    response.set_content(FTileBytes, "image/png");
  });
  TVuroduDavServer& server = MakeServer();
  server.GetTile(8, 5, 4);
  ASSERT_TRUE(FFixture.WaitForInFlight(1));
  server.SetTileServer(tsOpenCycleMap);
  EXPECT_EQ(server.ActiveDownloads(), 0);
  Pump(20);  // the repaint the selection itself asks for
  FRepaints = 0;
  FFixture.ReleaseAll();
  Pump(300);
  EXPECT_EQ(EventsWith(1), 0);
  EXPECT_EQ(FRepaints, 0);
  EXPECT_EQ(server.CacheCount(), 0);
  EXPECT_FALSE(fs::exists(TileFile(8, 5, 4)));

  server.SetTileServer(tsOSM);
  FFixture.Hold("gate");
  FFixture.ClearRequests();
  server.GetTile(8, 5, 4);
  ASSERT_TRUE(FFixture.WaitForInFlight(1));
  Pump(20);
  FRepaints = 0;
  const auto start = std::chrono::steady_clock::now();
  server.SetCancel(true);  // aborts and joins the download
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  FFixture.ReleaseAll();
  Pump(200);
  EXPECT_EQ(EventsWith(1), 0);
  EXPECT_EQ(FRepaints, 0);
  EXPECT_EQ(server.ActiveDownloads(), 0);
  EXPECT_FALSE(fs::exists(TileFile(8, 5, 4)));
}

// A downloaded tile is decoded once, on its worker; drawing it takes that
// image instead of decoding the bytes again on the window thread.
TEST_F(TileServerTest, DownloadedTileIsDecodedOnce) {
  TVuroduDavServer& server = MakeServer();
  Fetch(8, 5, 4);
  EXPECT_EQ(server.TilesDecoded(), 1u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(server.GetTile(8, 5, 4).pixel(7, 7), kTileColor);
  EXPECT_TRUE(server.TileOK());
  EXPECT_EQ(server.TilesDecoded(), 1u);
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);  // the bytes are kept as sent
}

// The renderer holds GlobalMapLock for a whole frame; a worker finishing
// meanwhile still stores its tile, file included, without waiting for it.
TEST_F(TileServerTest, WorkersStoreTilesWhileAFrameHoldsTheMapLock) {
  FFixture.Hold("gate");
  FFixture.HandleRegex(kTilePattern, [this](const TFixtureRequest&, httplib::Response& response) {
    FFixture.WaitRelease("gate");
    response.set_content(FTileBytes, "image/png");
  });
  TVuroduDavServer& server = MakeServer();
  server.GetTile(8, 5, 4);
  ASSERT_TRUE(FFixture.WaitForInFlight(1));
  {
    TGlobalMapLockGuard frame(GlobalMapLock());
    FFixture.ReleaseAll();
    // No message is processed meanwhile: the window thread is drawing.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(TileFile(8, 5, 4)) && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(fs::exists(TileFile(8, 5, 4)));
    EXPECT_EQ(server.CacheCount(), 1);
  }
  ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) == 1; }));
  EXPECT_EQ(ReadFile(TileFile(8, 5, 4)), FTileBytes);
  EXPECT_EQ(server.GetTile(8, 5, 4).pixel(1, 1), kTileColor);
}

// Offline, a name lookup may not come back for seconds. Cancelling or
// destroying the server aborts its downloads without waiting for it.
TEST_F(TileServerTest, CancelAndDestructionDoNotWaitForAStalledNameLookup) {
  SetEndpoint("osm", "http://held.test/{z}/{x}/{y}.png");
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroy" : "cancel");
    THeldResolver resolver("held.test");
    TVuroduDavServer& server = MakeServer(false);
    server.GetTile(8, 5, 4);
    ASSERT_TRUE(resolver.WaitUntilHolding());
    if (destroy)
      FServer.reset();
    else
      server.SetCancel(true);
    EXPECT_TRUE(resolver.Holding());  // returned while the lookup is still held
    if (!destroy) {
      EXPECT_EQ(server.ActiveDownloads(), 0);
    }
    FServer.reset();
  }
  EXPECT_EQ(EventsWith(1), 0);
}

// What the server catches is logged, and the tile stays a placeholder.
TEST_F(TileServerTest, FailuresCaughtInsideAreLogged) {
  TVuroduDavServer& server = MakeServer(false);
  server.TileServerInfo().GetTileFilename = [](std::string&, int, int, int) {
    throw std::runtime_error("tile source offline");
  };
  TScopedLogCapture log(llWarning);
  EXPECT_TRUE(IsPlaceholder(server.GetTile(1, 2, 3)));
  EXPECT_TRUE(log.Contains("tiles", "tile source offline"));
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);
}

TEST_F(TileServerTest, FailedTilesLogWhyOncePerHostAndReason) {
  ServeTiles([] { return std::string("gone"); }, 404, "text/plain");
  TVuroduDavServer& server = MakeServer(false);
  const std::string host = UrlHostPort(FFixture.BaseUrl());
  TScopedLogCapture log(llWarning);
  const auto linesWith = [&log, &host](const std::string& reason) {
    size_t lines = 0;
    for (const TLogRecord& record : log.Records())
      if (record.Message.find(host) != std::string::npos &&
          record.Message.find(reason) != std::string::npos)
        ++lines;
    return lines;
  };
  for (int x = 0; x < 4; ++x) server.GetTile(x, 5, 4);
  ASSERT_TRUE(FFixture.WaitForRequests(4));
  ASSERT_TRUE(WaitUntil([&] { return linesWith("HTTP status 404") > 0; }));
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
  Pump(100);  // every worker has told its failure by now
  EXPECT_EQ(linesWith("HTTP status 404"), 1u);
  // Another reason from the same host is told once too.
  ServeTiles([] { return std::string("<html>maintenance</html>"); }, 200, "text/html");
  for (int x = 0; x < 3; ++x) server.GetTile(x, 6, 4);
  ASSERT_TRUE(FFixture.WaitForRequests(7));
  ASSERT_TRUE(WaitUntil([&] { return linesWith("not an image") > 0; }));
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveDownloads() == 0; }));
  Pump(100);
  EXPECT_EQ(linesWith("not an image"), 1u);
  EXPECT_EQ(linesWith("HTTP status 404"), 1u);
}

TEST_F(TileServerTest, LocalPathAndTextMode) {
  TVuroduDavServer& server = MakeServer(false);
  const std::string good = (fs::path(FCacheDir) / "good.png").string();
  std::ofstream(good, std::ios::binary) << FTileBytes;
  server.TileServerInfo().LocalPath = true;
  server.TileServerInfo().GetTileFilename = [&](std::string& name, int x, int, int) {
    name = x == 1 ? good : FCacheDir + "/missing.png";
  };
  EXPECT_EQ(server.GetTile(1, 0, 3).pixel(0, 0), kTileColor);
  EXPECT_TRUE(server.TileOK());
  FEvents.clear();
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(IsPlaceholder(server.GetTile(2, 0, 3)));
    EXPECT_FALSE(server.TileOK());
  }
  EXPECT_EQ(FEvents, (std::vector<std::array<int, 4>>{{2, 0, 3, 0}, {2, 0, 3, 0}}));
  Pump(50);
  EXPECT_EQ(FFixture.RequestCount(), 0u);

  // Text mode: switching clears the caches; the tile comes back as text.
  server.SetStringGrid(true);
  EXPECT_EQ(server.CacheCount(), 0);
  const std::string text = server.GetStringTile(1, 0, 3);
  EXPECT_EQ(text.substr(0, 5), "\xC2\x89PNG");  // byte 0x89 as U+0089
  EXPECT_EQ(server.StringTile(), text);
}

// Decoded tiles: local files of a distinct solid colour per column x, so
// that every image can be checked after it was dropped and decoded again.
// An image that comes back with the same cacheKey() was not decoded again.
class DecodedTileTest : public TileServerTest {
 protected:
  static constexpr size_t kTileBytes = 256 * 256 * 4;
  static QRgb Color(int x) { return qRgb(20 * x, 255 - 20 * x, 7 * x); }

  TVuroduDavServer& MakeLocalServer() {
    TVuroduDavServer& server = MakeServer(false);
    for (int x = 1; x <= 5; ++x) std::ofstream(FileOf(x), std::ios::binary) << SolidPng(Color(x));
    server.TileServerInfo().LocalPath = true;
    server.TileServerInfo().GetTileFilename = [this](std::string& name, int x, int, int) {
      name = FileOf(x);
    };
    return server;
  }
  std::string FileOf(int x) const { return FCacheDir + "/tile" + std::to_string(x) + ".png"; }

  // GetTile of column x, checked for the right pixels; the image's data key.
  qint64 Load(int x) {
    const QImage& image = FServer->GetTile(x, 0, 3);
    EXPECT_TRUE(FServer->TileOK()) << "x " << x;
    EXPECT_EQ(image.pixel(100, 100), Color(x)) << "x " << x;
    FKept.push_back(image);  // keeps the data alive, so keys are never reused
    return image.cacheKey();
  }

  std::vector<QImage> FKept;
};

TEST_F(DecodedTileTest, BudgetInBytesEvictsLeastRecentlyUsed) {
  TVuroduDavServer& server = MakeLocalServer();
  server.SetDecodedCacheBudget(3 * kTileBytes + kTileBytes / 2);  // room for three
  const qint64 a = Load(1), b = Load(2), c = Load(3);
  EXPECT_EQ(server.DecodedCount(), 3);
  EXPECT_EQ(server.DecodedCacheBytes(), 3 * kTileBytes);
  EXPECT_EQ(Load(1), a);  // a hit, and A is now the most recently used

  // D pushes out B, the least recently used (not A, the first inserted).
  const qint64 d = Load(4);
  EXPECT_EQ(server.DecodedCount(), 3);
  EXPECT_EQ(server.DecodedCacheBytes(), 3 * kTileBytes);
  EXPECT_EQ(Load(3), c);
  EXPECT_EQ(Load(1), a);
  EXPECT_EQ(Load(4), d);
  // B is decoded again from the memory cache, with the right pixels; it
  // pushes out C, now the least recently used.
  EXPECT_NE(Load(2), b);
  EXPECT_NE(Load(3), c);
  EXPECT_EQ(server.CacheCount(), 4);  // the memory cache kept every tile

  // Lowering the budget trims at once and keeps the most recently used.
  const qint64 last = Load(1);
  server.SetDecodedCacheBudget(kTileBytes);
  EXPECT_EQ(server.DecodedCount(), 1);
  EXPECT_EQ(server.DecodedCacheBytes(), kTileBytes);
  EXPECT_EQ(Load(1), last);
  // An image larger than the whole budget is not kept.
  server.SetDecodedCacheBudget(kTileBytes - 1);
  EXPECT_EQ(server.DecodedCount(), 0);
  EXPECT_NE(Load(1), Load(1));
  EXPECT_EQ(server.DecodedCacheBytes(), 0u);
}

TEST_F(DecodedTileTest, ZeroBudgetKeepsNoneAndTilesStayCorrect) {
  SetSetting("tiles.decoded-cache-bytes", "0");
  TVuroduDavServer& server = MakeLocalServer();
  for (int round = 0; round < 2; ++round) {
    std::set<qint64> keys;
    for (int x = 1; x <= 3; ++x) keys.insert(Load(x));
    EXPECT_EQ(keys.size(), 3u);
  }
  EXPECT_NE(Load(2), Load(2));  // decoded on every call
  EXPECT_EQ(server.DecodedCount(), 0);
  EXPECT_EQ(server.DecodedCacheBytes(), 0u);
  EXPECT_EQ(server.CacheCount(), 3);
}

// A tile leaving the memory cache leaves the decoded tiles too, so that
// memory is not held for images that can no longer be used.
TEST_F(DecodedTileTest, FollowsTheMemoryCache) {
  TVuroduDavServer& server = MakeLocalServer();
  server.SetCacheSize(2);
  const qint64 a = Load(1);
  Load(2);
  Load(3);  // the memory cache drops A
  EXPECT_EQ(server.CacheCount(), 2);
  EXPECT_EQ(server.DecodedCount(), 2);
  EXPECT_EQ(server.DecodedCacheBytes(), 2 * kTileBytes);
  EXPECT_NE(Load(1), a);  // read from its file again
  server.SetCacheSize(0);
  EXPECT_EQ(server.DecodedCount(), 0);
  server.SetCacheSize(8);
  Load(4);
  Load(5);
  server.ClearCache();
  EXPECT_EQ(server.DecodedCount(), 0);
  EXPECT_EQ(server.DecodedCacheBytes(), 0u);
  Load(4);  // still correct after the caches were emptied
  // Text mode keeps no images.
  server.SetStringGrid(true);
  server.GetStringTile(5, 0, 3);
  server.GetStringTile(5, 0, 3);
  EXPECT_EQ(server.DecodedCount(), 0);
}

TEST_F(DecodedTileTest, BudgetComesFromTheSettings) {
  const struct {
    const char* Value;
    size_t Budget;
  } cases[] = {
      {"", 64u * 1024 * 1024},  // the default
      {"0", 0},
      {"524288", 524288},
      {"-1", 64u * 1024 * 1024},  // unusable values give the default
      {"lots", 64u * 1024 * 1024},
  };
  for (const auto& c : cases) {
    SetSetting("tiles.decoded-cache-bytes", c.Value);
    EXPECT_EQ(MakeServer(false).DecodedCacheBudget(), c.Budget) << "\"" << c.Value << "\"";
  }
}

TEST(TileDownloadTest, HostKeysAndDefaultLimits) {
  const struct {
    const char* Url;
    const char* HostPort;
  } cases[] = {
      {"https://tile.openstreetmap.org/4/3/5.png", "tile.openstreetmap.org:443"},
      {"http://Tile.OpenStreetMap.org/4/3/5.png", "tile.openstreetmap.org:80"},
      {"http://127.0.0.1:8080/a?b", "127.0.0.1:8080"},
      {"http://user:pw@h.example:81", "h.example:81"},
      {"http://[::1]:9000/x", "[::1]:9000"},
      {"http://[::1]/x", "[::1]:80"},
      {"no-scheme/x", ""},
      {"http:///x", ""},
      {"HTTPS://H.example", "h.example:443"},
      {"/tiles?from=http://h.example/x", ""},  // an address inside a query is no host
  };
  for (const auto& c : cases) EXPECT_EQ(UrlHostPort(c.Url), c.HostPort) << c.Url;
  EXPECT_EQ(MaxConnectionsForHost("tile.openstreetmap.org:443"), 2);
  EXPECT_EQ(MaxConnectionsForHost("tile.openstreetmap.org:80"), 0);
  EXPECT_EQ(MaxConnectionsForHost("other.example:443"), 0);
  SetSetting("max-connections.other.example:443", "3");
  EXPECT_EQ(MaxConnectionsForHost("other.example:443"), 3);
  ResetSettings();
}

// A stalled tile gives up after the tile time-outs of the settings, which
// libcurl counts in whole seconds.
TEST(TileDownloadTest, TileTimeOutsComeFromTheSettings) {
  TFixtureServer fixture;
  ASSERT_TRUE(fixture.Running());
  fixture.Stall("/stalled");
  fixture.ServeSlow("/trickle", std::string(100, 't'), 1, 100);  // 10 s in all
  const struct {
    const char* Path;
    const char* Key;
    const char* Value;
    int64_t MinElapsedMs;
  } cases[] = {
      {"/stalled", "timeout.tile-low-speed", "1000", 1000},
      {"/trickle", "timeout.tile-total", "600", 600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Key);
    SetSetting(c.Key, c.Value);
    std::atomic<bool> cancel{false};
    const auto start = std::chrono::steady_clock::now();
    const TTileFetchResult result = FetchTile(fixture.Url(c.Path), cancel);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    EXPECT_FALSE(result.Complete);
    EXPECT_FALSE(result.Aborted);
    // libcurl's clock starts a moment after ours and counts whole
    // milliseconds: a little slack below the setting.
    EXPECT_GE(elapsed, c.MinElapsedMs - 50);
    EXPECT_LT(elapsed, 8000);  // far below the defaults (10 s and 120 s)
    ResetSettings();
  }
  fixture.ReleaseAll();
}

// One worker on its own: the whole body arrives; an address that cannot be
// reached notifies with nothing usable; a cancelled worker never notifies.
TEST(TileDownloadTest, WorkerOutcomes) {
  TFixtureServer fixture;
  ASSERT_TRUE(fixture.Running());
  fixture.ServeBytes("/big", 200000);
  std::atomic<int> notified{0};
  TTileFetchResult seen;
  auto notify = [&](TThreadTile& sender) {
    seen = sender.Result();
    ++notified;
  };
  {
    TThreadTile worker(fixture.Url("/big"), tsOSM, 1, 2, 3, notify);
    worker.Join();
  }
  EXPECT_EQ(notified, 1);
  EXPECT_TRUE(seen.Usable());
  EXPECT_EQ(seen.Body, TFixtureServer::Bytes(200000));
  EXPECT_EQ(fixture.Requests().at(0).UserAgent(), "wyVuroduDav");
  {
    TThreadTile worker(fixture.RefusedUrl("/x"), tsOSM, 1, 2, 3, notify);
    worker.Join();
  }
  EXPECT_EQ(notified, 2);
  EXPECT_FALSE(seen.Usable());
  EXPECT_TRUE(seen.Body.empty());

  fixture.Stall("/held");
  {
    TThreadTile worker(fixture.Url("/held"), tsOSM, 1, 2, 3, notify);
    ASSERT_TRUE(fixture.WaitForInFlight(1));
    const auto start = std::chrono::steady_clock::now();
    worker.SetCancel(true);
    worker.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(worker.Result().Aborted);
  }
  EXPECT_EQ(notified, 2);
  fixture.ReleaseAll();
}

}  // namespace
}  // namespace wy
