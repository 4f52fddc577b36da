// Static map pictures: from the static map service, or composed from the
// map's own tiles as the command-line tool's render does.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <chrono>

#include "geo/stream.h"
#include "geo/text_convert.h"
#include "map/detail/map_control_private.h"
#include "map/map_control.h"
#include "map/map_renderer.h"
#include "platform/window_thread.h"
#include "services/geo_localise.h"
#include "services/mapquest_services.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

constexpr int kMaxStaticSide = 2048;

// The value of `name` in a query text; "" when missing.
std::string QueryParam(const std::string& text, const std::string& name) {
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find('&', from);
    if (end == std::string::npos) end = text.size();
    if (text.compare(from, name.size() + 1, name + "=") == 0)
      return text.substr(from + name.size() + 1, end - from - name.size() - 1);
    from = end + 1;
  }
  return std::string();
}

// "A,B" as two numbers.
bool TwoNumbers(const std::string& text, double& a, double& b) {
  const size_t comma = text.find(',');
  return comma != std::string::npos && TryStrToFloatDot(text.substr(0, comma), a) &&
         TryStrToFloatDot(text.substr(comma + 1), b);
}

}  // namespace

bool TVuroduDavControl::TilesSettled() {
  TVuroduDavServer& server = MapServer();
  if (server.ActiveDownloads() != 0) return false;
  ProcessPendingMessages();
  const int renders = RenderCount();
  RedrawMap(false);
  return RenderCount() > renders && server.ActiveDownloads() == 0;
}

bool TVuroduDavControl::StaticMap(const std::string& sParams, TMemoryStream& stream,
                                  uint32_t timeoutMs) {
  stream.Clear();
  if (TOpenMapQuestServices::BackendOf(mkStaticMap) != sbNone) {
    TOpenMapQuestServices own;
    TOpenMapQuestServices& services = FD->FGeoLocalise ? FD->FGeoLocalise->MapQuestServices() : own;
    if (!services.StaticMap(sParams)) return false;
    stream.WriteString(services.StreamResult().DataString());
    stream.SetPosition(0);
    return true;
  }

  double lat = Latitude(), lng = Longitude(), w = 400, h = 300, zoom = Zoom();
  const std::string center = QueryParam(sParams, "center");
  const std::string size = QueryParam(sParams, "size");
  const std::string level = QueryParam(sParams, "zoom");
  if ((!center.empty() &&
       (!TwoNumbers(center, lat, lng) || lat < -90 || lat > 90 || lng < -180 || lng > 180)) ||
      (!size.empty() &&
       (!TwoNumbers(size, w, h) || w < 1 || h < 1 || w > kMaxStaticSide || h > kMaxStaticSide ||
        w != static_cast<int>(w) || h != static_cast<int>(h))) ||
      (!level.empty() && (!TryStrToFloatDot(level, zoom) || zoom != static_cast<int>(zoom))))
    return false;
  const TTileServerInfo& info = TileServerInfo();
  if (zoom < info.MinZoom || zoom > info.MaxZoom) return false;

  // A renderer of its own with this map's tile service and cache, so this
  // map's view is left as it is.
  TVuroduDavServer server(0, TMapRenderer::PlaceholderColor());
  server.SetCacheSize(CacheSize());
  server.SetStandIn(true);
  server.SetLocalCache(LocalCache());
  server.SetTileServer(TileServer());
  TMapRenderer picture;
  picture.SetTileLayers(&server, nullptr);
  picture.SetSize(static_cast<int>(w), static_cast<int>(h), 1.0);
  picture.Viewport().SetMinZoom(server.TileServerInfo().MinZoom);
  picture.Viewport().SetMaxZoom(server.TileServerInfo().MaxZoom);
  picture.Viewport().SetZoom(static_cast<uint8_t>(zoom));
  picture.Viewport().CenterOn(lat, lng);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Settled when a compose started no download and none is in flight.
  for (;;) {
    if (server.ActiveDownloads() == 0) {
      picture.Compose(false);
      if (server.ActiveDownloads() == 0) break;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    WaitProcessing(5);
  }
  const QImage frame = picture.Picture().convertToFormat(QImage::Format_RGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (frame.isNull() || !buffer.open(QIODevice::WriteOnly) || !frame.save(&buffer, "PNG"))
    return false;
  stream.WriteString(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
  stream.SetPosition(0);
  return true;
}

}  // namespace wy
