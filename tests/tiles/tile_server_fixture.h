#pragma once
// The fixture of the tile server tests: a loopback tile server, a temporary
// cache folder, a mailbox counting repaint requests and a record of
// OnLoadTile.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "geo/settings.h"
#include "platform/map_messages.h"
#include "platform/window_thread.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"
#include "tiles/tile_download.h"
#include "tiles/tile_server.h"

namespace wy {
namespace tile_test {

namespace fs = std::filesystem;

inline const QRgb kBack = qRgb(10, 20, 30);
inline const QRgb kTileColor = qRgb(200, 40, 90);
inline const char* const kTilePattern = R"(/osm/(\d+)/(\d+)/(\d+)\.png)";

// Lets the window thread's queued calls run for `ms` milliseconds of the
// steady clock (WaitProcessing counts the process tick, which some tests
// freeze).
inline void Pump(uint32_t ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    ProcessPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < end);
}

// Pumps the window thread until pred holds or timeoutMs passes.
inline bool WaitUntil(const std::function<bool()>& pred, uint32_t timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Pump(5);
  }
  return true;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// A loopback tile server, a temporary cache folder, a mailbox counting repaint
// requests and a record of OnLoadTile.
class TileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFixture.Running());
    ASSERT_TRUE(FDir.isValid());
    FCacheDir = FDir.path().toStdString();
    SetEndpoint("osm", FFixture.Url("/osm/{z}/{x}/{y}.png"));
    FTileBytes = SolidPng(kTileColor);
    ServeTiles([this] { return FTileBytes; });
  }
  void TearDown() override {
    FServer.reset();
    ResetSettings();
    // A later test's fixture server may get this one's port.
    ResetTileHostPauses();
    ResetTileFailureLog();
  }

  // Every tile request answers the body `body()` gives at that moment.
  void ServeTiles(std::function<std::string()> body, int status = 200,
                  const std::string& type = "image/png") {
    FFixture.HandleRegex(kTilePattern,
                         [body, status, type](const TFixtureRequest&, httplib::Response& response) {
                           response.status = status;
                           response.set_content(body(), type);
                         });
  }

  // Tiles answer 503 until `healthy` is set, then the tile.
  void ServeOnceHealthy(std::atomic<bool>& healthy) {
    FFixture.HandleRegex(kTilePattern, [&](const TFixtureRequest&, httplib::Response& response) {
      if (healthy) {
        response.set_content(FTileBytes, "image/png");
      } else {
        response.status = 503;
        response.set_content("busy", "text/plain");
      }
    });
  }

  TVuroduDavServer& MakeServer(bool diskCache = true) {
    FServer = std::make_unique<TVuroduDavServer>(FMailbox.Target(), QColor(kBack));
    if (diskCache) FServer->SetLocalCache(FCacheDir);
    FServer->OnLoadTile = [this](int x, int y, int z, int t) { FEvents.push_back({x, y, z, t}); };
    Pump(10);  // the repaint asked for by the initial selection
    FRepaints = 0;
    return *FServer;
  }

  int EventsWith(int t) const {
    int n = 0;
    for (const auto& e : FEvents) n += e[3] == t ? 1 : 0;
    return n;
  }
  std::string TileFile(int x, int y, int z) const {
    return FCacheDir + "/OSM/" + std::to_string(z) + "/" + std::to_string(x) + "/" +
           std::to_string(y);
  }
  // Downloads tile (x, y, z) and waits until it is stored.
  void Fetch(int x, int y, int z) {
    const int loaded = EventsWith(1);
    FServer->GetTile(x, y, z);
    ASSERT_TRUE(WaitUntil([&] { return EventsWith(1) > loaded; }));
  }
  bool IsPlaceholder(const QImage& image) const { return image.pixel(128, 128) == kBack; }

  // Declared before the fixture server, whose handlers read it until the
  // server is gone.
  std::string FTileBytes;
  TFixtureServer FFixture;
  QTemporaryDir FDir;
  std::string FCacheDir;
  int FRepaints = 0;
  TMessageMailbox FMailbox{[this](uint32_t msg, intptr_t w, intptr_t l) {
    if (msg == WM_MAPREPAINT && w == 0 && l == 0) ++FRepaints;
  }};
  std::vector<std::array<int, 4>> FEvents;
  std::unique_ptr<TVuroduDavServer> FServer;
};

}  // namespace tile_test
}  // namespace wy
