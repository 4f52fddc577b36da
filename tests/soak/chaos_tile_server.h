#pragma once
// A loopback tile server for the soak program. Tiles are served at
// "/osm/{z}/{x}/{y}.png"; every right tile is a solid PNG of
// SoakTileColor(x, y, z).
//
// While chaotic, each request draws (from a seeded generator) one answer
// kind: the right tile, 404, 500, 200 with garbage, a body cut short of its
// Content-Length, a stall shorter than the download time-out followed by
// the right tile, a stall longer than the time-out, or a connection reset
// (a redirect to the fixture server's reset listener, half of them after
// the start of an answer). While failing, only the kinds that give no tile
// are drawn; while behaving, every request gets the right tile. Answers are
// counted by kind.

#include <QRgb>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>

#include "support/fixture_server.h"

namespace wy {
namespace soak {

QRgb SoakTileColor(int x, int y, int z);

enum TAnswerKind : uint8_t {
  akTile,
  akNotFound,
  akServerError,
  akGarbage,
  akTruncated,
  akStall,
  akStallPastTimeout,
  akReset,
  akKindCount
};
const char* AnswerKindName(TAnswerKind kind);

class TChaosTileServer {
 public:
  // stallMs: the longest stall that still ends before the client's
  // time-out; pastTimeoutMs: how long a stall past the time-out lasts.
  TChaosTileServer(uint64_t seed, uint32_t stallMs, uint32_t pastTimeoutMs);

  bool Running() const { return FServer.Running(); }
  // The address template of the tiles, for the "osm" endpoint.
  std::string TileUrlTemplate() const;

  enum TMode : uint8_t { smChaotic, smFailing, smBehaving };
  void SetMode(TMode value) { FMode.store(value); }
  TMode Mode() const { return FMode.load(); }

  uint64_t Count(TAnswerKind kind) const { return FCounts[kind].load(); }
  uint64_t Total() const;
  // "tile 12, 404 3, ..." for the report.
  std::string CountsText() const;

  // The fixture server keeps a record of every request; the soak drops it
  // now and then so that the record does not grow for the whole run.
  void ForgetRequests() { FServer.ClearRequests(); }

 private:
  void Answer(const TFixtureRequest& request, httplib::Response& response);
  TAnswerKind Draw();
  uint32_t DrawBelow(uint32_t bound);
  std::string RightTile(int x, int y, int z) const;
  std::string Garbage(const std::string& tile);

  std::mutex FRandomMutex;
  std::mt19937_64 FRandom;
  const uint32_t FStallMs;
  const uint32_t FPastTimeoutMs;
  std::atomic<TMode> FMode{smChaotic};
  std::array<std::atomic<uint64_t>, akKindCount> FCounts{};
  // Last, so that its handlers are gone before the members they use.
  TFixtureServer FServer;
};

}  // namespace soak
}  // namespace wy
