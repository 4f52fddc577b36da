// The map's tile layers: the base service or a local tile source, the
// overlay, and the memory and disk caches they use.
#include "map/detail/geo_services_adapter.h"
#include "map/detail/map_control_private.h"
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
  return FD->FMapServer->TileServer();
}

void TVuroduDavControl::SetTileServer(TTileServer value) {
  FD->FMapServer->SetTileServer(value);
  FD->TileSourceChanged();
}

void TVuroduDavControl::TPrivate::TileSourceChanged() {
  const TTileServerInfo& info = FMapServer->TileServerInfo();
  FOwner.SetMinZoom(info.MinZoom);
  FOwner.SetMaxZoom(info.MaxZoom);
  ClearTiles();
  FOwner.RedrawMap(false);
  FOwner.NotifyObservers(omMapTileServer);
}

TTileServerInfo& TVuroduDavControl::TileServerInfo() {
  return FD->FMapServer->TileServerInfo();
}

bool TVuroduDavControl::SetLocalTiles(const std::string& path, std::string& error) {
  if (!UseLocalTileSource(path, FD->FMapServer->TileServerInfo(), error)) return false;
  // The service's tiles in memory are not this source's.
  FD->FMapServer->ClearCache();
  FD->TileSourceChanged();
  return true;
}

uint16_t TVuroduDavControl::CacheSize() const {
  return FD->FMapServer->CacheSize();
}

void TVuroduDavControl::SetCacheSize(uint16_t value) {
  FD->FMapServer->SetCacheSize(value);
}

uint8_t TVuroduDavControl::MaxThreadTile() const {
  return FD->FMapServer->MaxThreadTile();
}

void TVuroduDavControl::SetMaxThreadTile(uint8_t value) {
  FD->FMapServer->SetMaxThreadTile(std::max<uint8_t>(value, 2));
}

std::string TVuroduDavControl::LocalCache() const {
  return FD->FMapServer->LocalCache();
}

void TVuroduDavControl::SetLocalCache(const std::string& value) {
  FD->FMapServer->SetLocalCache(value);
  if (FD->FOverlayServer) FD->FOverlayServer->SetLocalCache(value);
  if (FD->FGeoLocalise && FD->FGeoLocalise->LocalCache().empty())
    FD->FGeoLocalise->SetLocalCache(value);
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
  server->SetLocalCache(FD->FMapServer->LocalCache());
  server->SetTileScale(FD->FMapServer->TileScale());
  server->OnLoadTile = [this](int x, int y, int z, int t) { TileLoaded(x, y, z, t); };
  FD->FOverlayServer = std::move(server);
  FD->FRenderer->SetTileLayers(FD->FMapServer.get(), FD->FOverlayServer.get());
  FD->ClearTiles();
  RedrawMap(false);
}

void TVuroduDavControl::RemoveOverlayTiles() {
  if (!FD->FOverlayServer) return;
  // Out of use before it is cancelled: cancelling waits for its downloads,
  // and nothing may start new ones meanwhile.
  std::unique_ptr<TVuroduDavServer> server = std::move(FD->FOverlayServer);
  FD->FRenderer->SetTileLayers(FD->FMapServer.get(), nullptr);
  server->OnLoadTile = nullptr;
  server->SetCancel(true);
  server.reset();
  FD->ClearTiles();
  RedrawMap(false);
}

}  // namespace wy
