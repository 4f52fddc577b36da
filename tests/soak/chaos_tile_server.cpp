#include "soak/chaos_tile_server.h"

#include <algorithm>
#include <memory>

#include "support/image_helpers.h"

namespace wy {
namespace soak {

namespace {

const char* const kResetPlain = "/reset/plain";
const char* const kResetMidway = "/reset/midway";

// Chances of the answer kinds while chaotic, in hundredths.
constexpr std::array<uint32_t, akKindCount> kWeights = {
    40,  // the right tile
    10,  // 404
    10,  // 500
    10,  // garbage
    10,  // truncated
    8,   // stall, then the right tile
    2,   // stall past the time-out
    10,  // reset
};

}  // namespace

QRgb SoakTileColor(int x, int y, int z) {
  return qRgb((x * 53 + z * 89 + 17) % 256, (y * 71 + z * 37 + 29) % 256,
              ((x + y) * 31 + z * 113 + 101) % 256);
}

const char* AnswerKindName(TAnswerKind kind) {
  switch (kind) {
    case akTile:
      return "tile";
    case akNotFound:
      return "404";
    case akServerError:
      return "500";
    case akGarbage:
      return "garbage";
    case akTruncated:
      return "truncated";
    case akStall:
      return "stall";
    case akStallPastTimeout:
      return "stall-past-timeout";
    case akReset:
      return "reset";
    case akKindCount:
      break;
  }
  return "?";
}

TChaosTileServer::TChaosTileServer(uint64_t seed, uint32_t stallMs, uint32_t pastTimeoutMs)
    : FRandom(seed), FStallMs(stallMs), FPastTimeoutMs(pastTimeoutMs) {
  // The start of an answer (status line, headers and the first bytes of a
  // PNG that would be much longer), then the reset.
  const std::string start = SolidPng(qRgb(1, 2, 3));
  FServer.SetResetPrefix(kResetMidway,
                         "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 100000"
                         "\r\n\r\n" +
                             start.substr(0, start.size() / 2));
  FServer.HandleRegex(R"(/osm/(\d+)/(\d+)/(\d+)\.png)",
                      [this](const TFixtureRequest& request, httplib::Response& response) {
                        Answer(request, response);
                      });
}

std::string TChaosTileServer::TileUrlTemplate() const {
  return FServer.Url("/osm/{z}/{x}/{y}.png");
}

uint64_t TChaosTileServer::Total() const {
  uint64_t total = 0;
  for (const auto& count : FCounts) total += count.load();
  return total;
}

std::string TChaosTileServer::CountsText() const {
  std::string text;
  for (int kind = 0; kind < akKindCount; ++kind) {
    if (!text.empty()) text += ", ";
    text += AnswerKindName(static_cast<TAnswerKind>(kind));
    text += ' ';
    text += std::to_string(FCounts[kind].load());
  }
  return text;
}

TAnswerKind TChaosTileServer::Draw() {
  const TMode mode = FMode.load();
  if (mode == smBehaving) return akTile;
  for (;;) {
    uint32_t pick = DrawBelow(100);
    int kind = 0;
    while (kind + 1 < akKindCount && pick >= kWeights[kind]) pick -= kWeights[kind++];
    const bool givesTile = kind == akTile || kind == akStall;
    if (mode == smChaotic || !givesTile) return static_cast<TAnswerKind>(kind);
  }
}

uint32_t TChaosTileServer::DrawBelow(uint32_t bound) {
  std::lock_guard<std::mutex> lock(FRandomMutex);
  return static_cast<uint32_t>(FRandom() % bound);
}

std::string TChaosTileServer::RightTile(int x, int y, int z) const {
  return SolidPng(SoakTileColor(x, y, z));
}

// Random bytes, or the right tile with a few bytes changed (what a broken
// proxy or disk might hand over): either way no tile.
std::string TChaosTileServer::Garbage(const std::string& tile) {
  if (DrawBelow(2) == 0) {
    std::string bytes(100 + DrawBelow(4000), '\0');
    for (char& c : bytes) c = static_cast<char>(DrawBelow(256));
    return bytes;
  }
  std::string bytes = tile;
  const uint32_t changes = 1 + DrawBelow(4);
  // Past the signature and the header chunk's length, so the change lands
  // in checked data.
  for (uint32_t i = 0; i < changes; ++i)
    bytes[12 + DrawBelow(static_cast<uint32_t>(bytes.size() - 12))] ^=
        static_cast<char>(1 + DrawBelow(255));
  return bytes;
}

void TChaosTileServer::Answer(const TFixtureRequest& request, httplib::Response& response) {
  const int z = std::stoi(request.Captures.at(0));
  const int x = std::stoi(request.Captures.at(1));
  const int y = std::stoi(request.Captures.at(2));
  const TAnswerKind kind = Draw();
  FCounts[kind].fetch_add(1);
  response.status = 200;
  switch (kind) {
    case akTile:
      response.set_content(RightTile(x, y, z), "image/png");
      return;
    case akNotFound:
      response.status = 404;
      response.set_content("no such tile", "text/plain");
      return;
    case akServerError:
      response.status = 500;
      response.set_content("<html><body>Internal error</body></html>", "text/html");
      return;
    case akGarbage:
      response.set_content(Garbage(RightTile(x, y, z)), "image/png");
      return;
    case akTruncated: {
      // Half the tile, or all of it, under a Content-Length larger than
      // what is sent; the connection then closes.
      auto tile = std::make_shared<const std::string>(RightTile(x, y, z));
      const size_t sent = DrawBelow(2) == 0 ? tile->size() / 2 : tile->size();
      response.set_content_provider(tile->size() + 100, "image/png",
                                    [tile, sent](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset < sent)
                                        sink.write(tile->data() + offset, sent - offset);
                                      return false;
                                    });
      return;
    }
    case akStall:
      if (!FServer.SleepFor(200 + DrawBelow(std::max<uint32_t>(FStallMs, 201) - 200))) return;
      response.set_content(RightTile(x, y, z), "image/png");
      return;
    case akStallPastTimeout:
      if (!FServer.SleepFor(FPastTimeoutMs)) return;
      response.set_content(RightTile(x, y, z), "image/png");
      return;
    case akReset:
      response.status = 302;
      response.set_header("Location",
                          FServer.ResetUrl(DrawBelow(2) == 0 ? kResetPlain : kResetMidway));
      return;
    case akKindCount:
      break;
  }
}

}  // namespace soak
}  // namespace wy
