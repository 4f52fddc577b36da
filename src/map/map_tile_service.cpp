// The map's tile layers: the base service or a local tile source, the
// overlay, and the memory and disk caches they use.
#include "map/detail/geo_services_adapter.h"
#include "map/map_control.h"
#include "map/map_renderer.h"
#include "services/geo_localise.h"
#include "tiles/local_tile_source.h"
#include "tiles/tile_server.h"

namespace wy {

namespace {

// Tiles of the overlay kept in memory, as many as the base layer starts with.
constexpr uint16_t kOverlayCacheSize = 256;

}  // namespace

TTileServer TVuroduDavControl::TileServer() const {
  return FMapServer->TileServer();
}

void TVuroduDavControl::SetTileServer(TTileServer value) {
  FMapServer->SetTileServer(value);
  TileSourceChanged();
}

void TVuroduDavControl::TileSourceChanged() {
  const TTileServerInfo& info = FMapServer->TileServerInfo();
  SetMinZoom(info.MinZoom);
  SetMaxZoom(info.MaxZoom);
  ClearTiles();
  RedrawMap(false);
  NotifyObservers(omMapTileServer);
}

TTileServerInfo& TVuroduDavControl::TileServerInfo() {
  return FMapServer->TileServerInfo();
}

bool TVuroduDavControl::SetLocalTiles(const std::string& path, std::string& error) {
  if (!UseLocalTileSource(path, FMapServer->TileServerInfo(), error)) return false;
  // The service's tiles in memory are not this source's.
  FMapServer->ClearCache();
  TileSourceChanged();
  return true;
}

uint16_t TVuroduDavControl::CacheSize() const {
  return FMapServer->CacheSize();
}

void TVuroduDavControl::SetCacheSize(uint16_t value) {
  FMapServer->SetCacheSize(value);
}

uint8_t TVuroduDavControl::MaxThreadTile() const {
  return FMapServer->MaxThreadTile();
}

void TVuroduDavControl::SetMaxThreadTile(uint8_t value) {
  FMapServer->SetMaxThreadTile(std::max<uint8_t>(value, 2));
}

std::string TVuroduDavControl::LocalCache() const {
  return FMapServer->LocalCache();
}

void TVuroduDavControl::SetLocalCache(const std::string& value) {
  FMapServer->SetLocalCache(value);
  if (FOverlayServer) FOverlayServer->SetLocalCache(value);
  if (FGeoLocalise && FGeoLocalise->LocalCache().empty()) FGeoLocalise->SetLocalCache(value);
}

void TVuroduDavControl::AddOverlayTiles(TOnMapServerTilePath getOverlayTiles,
                                        const std::string& Name, uint8_t MaxZoom, uint8_t MinZoom) {
  RemoveOverlayTiles();
  auto server =
      std::make_unique<TVuroduDavServer>(MessageTarget(), TMapRenderer::PlaceholderColor());
  server->SetCacheSize(kOverlayCacheSize);
  TTileServerInfo& info = server->TileServerInfo();
  info.MinZoom = MinZoom;
  info.MaxZoom = MaxZoom;
  info.GetTileFilename = std::move(getOverlayTiles);
  info.SetTileFormat(stPng);
  info.Name = Name;
  server->SetLocalCache(FMapServer->LocalCache());
  server->SetTileScale(FMapServer->TileScale());
  server->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FOverlayServer = std::move(server);
  FRenderer->SetTileLayers(FMapServer.get(), FOverlayServer.get());
  ClearTiles();
  RedrawMap(false);
}

void TVuroduDavControl::RemoveOverlayTiles() {
  if (!FOverlayServer) return;
  // Out of use before it is cancelled: cancelling waits for its downloads,
  // and nothing may start new ones meanwhile.
  std::unique_ptr<TVuroduDavServer> server = std::move(FOverlayServer);
  FRenderer->SetTileLayers(FMapServer.get(), nullptr);
  server->OnLoadTile = nullptr;
  server->SetCancel(true);
  server.reset();
  ClearTiles();
  RedrawMap(false);
}

}  // namespace wy
