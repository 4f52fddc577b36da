#include "tiles/vector_source.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "geo/settings.h"
#include "platform/log.h"
#include "tiles/http_range.h"
#include "tiles/local_tile_source.h"
#include "tiles/mbtiles.h"
#include "tiles/pmtiles.h"

namespace wy {

namespace {

constexpr size_t kDecodedKept = 32;
constexpr int kMaxFolderZoom = 30;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Layer ids from a TileJSON-like document's "vector_layers".
std::vector<std::string> VectorLayerIds(const std::string& text) {
  std::vector<std::string> ids;
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (!document.is_object() || !document.contains("vector_layers")) return ids;
  for (const auto& layer : document["vector_layers"])
    if (layer.is_object() && layer.contains("id") && layer["id"].is_string())
      ids.push_back(layer["id"].get<std::string>());
  return ids;
}

class TMbTilesVectorSource : public TVectorSource {
 public:
  explicit TMbTilesVectorSource(std::shared_ptr<TMbTiles> file) : FFile(std::move(file)) {}
  bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error) override {
    error.clear();
    return FFile->ReadTile(x, y, z, bytes);
  }

 private:
  std::shared_ptr<TMbTiles> FFile;
};

class TPmTilesVectorSource : public TVectorSource {
 public:
  explicit TPmTilesVectorSource(std::shared_ptr<TPmTiles> archive) : FArchive(std::move(archive)) {}
  bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error) override {
    return FArchive->ReadTile(x, y, z, bytes, error);
  }

 private:
  std::shared_ptr<TPmTiles> FArchive;
};

class TFolderVectorSource : public TVectorSource {
 public:
  TFolderVectorSource(std::string root, std::string extension)
      : FRoot(std::move(root)), FExtension(std::move(extension)) {}
  bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error) override {
    error.clear();
    bytes.clear();
    const std::string path = FRoot + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" +
                             std::to_string(y) + FExtension;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return true;
  }

 private:
  std::string FRoot, FExtension;
};

// Tiles of an HTTP template ({z}, {x}, {y}).
class TTemplateVectorSource : public TVectorSource {
 public:
  explicit TTemplateVectorSource(std::string urlTemplate) : FTemplate(std::move(urlTemplate)) {}
  bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error) override {
    const std::string url = FillTileUrlTemplate(FTemplate, hrFixed, x, y, z, "", "");
    return FetchTileBytes(url, bytes, error);
  }

 private:
  std::string FTemplate;
};

bool IsHttp(const std::string& path) {
  return path.rfind("http://", 0) == 0 || path.rfind("https://", 0) == 0;
}

bool IsTemplate(const std::string& path) {
  return IsHttp(path) && path.find("{z}") != std::string::npos &&
         path.find("{x}") != std::string::npos && path.find("{y}") != std::string::npos;
}

// "vector" names the endpoint.vector template, unless a file has that name.
bool IsEndpointName(const std::string& path) {
  return path == "vector" && !QFileInfo::exists(QString::fromStdString(path));
}

std::shared_ptr<TVectorSource> OpenPmTiles(TRangeReader reader, const std::string& path,
                                           const std::string& baseName, std::string& error) {
  auto archive = TPmTiles::Open(std::move(reader), error);
  if (!archive) {
    error = path + ": " + error;
    return nullptr;
  }
  if (archive->Header().TileType != ptMvt) {
    error = path + " holds no vector tiles";
    return nullptr;
  }
  auto source = std::make_shared<TPmTilesVectorSource>(archive);
  source->Name = "PMTILES-" + baseName;
  source->MinZoom = archive->Header().MinZoom;
  source->MaxZoom = archive->Header().MaxZoom;
  const nlohmann::json metadata = nlohmann::json::parse(archive->Metadata(), nullptr, false);
  if (metadata.is_object() && metadata.contains("attribution") &&
      metadata["attribution"].is_string())
    source->Attribution = metadata["attribution"].get<std::string>();
  source->LayerIds = VectorLayerIds(archive->Metadata());
  return source;
}

// The extension of the tiles of a folder: ".pbf" or ".mvt" when a tile
// file below its first zoom folder has one, else "".
std::string FolderTileExtension(const QDir& dir, int& minZoom, int& maxZoom) {
  minZoom = kMaxFolderZoom + 1;
  maxZoom = -1;
  std::string extension;
  for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    const int zoom = name.toInt(&number);
    if (!number || zoom < 0 || zoom > kMaxFolderZoom || QString::number(zoom) != name) continue;
    minZoom = std::min(minZoom, zoom);
    maxZoom = std::max(maxZoom, zoom);
    if (!extension.empty()) continue;
    const QDir zoomDir(dir.filePath(name));
    for (const QString& column : zoomDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      const QDir columnDir(zoomDir.filePath(column));
      const QStringList files = columnDir.entryList({"*.pbf", "*.mvt"}, QDir::Files);
      if (!files.isEmpty()) {
        extension = "." + QFileInfo(files.front()).suffix().toLower().toStdString();
        break;
      }
    }
  }
  return extension;
}

int64_t TileKey(int x, int y, int z) {
  return (int64_t(z) << 58) | (int64_t(x) << 29) | int64_t(y);
}

}  // namespace

bool IsVectorSource(const std::string& path) {
  const std::string lower = LowerAscii(path);
  if (EndsWith(lower, ".pmtiles") || IsTemplate(path) || IsEndpointName(path)) return true;
  const QFileInfo file(QString::fromStdString(path));
  if (file.isDir()) {
    int minZoom, maxZoom;
    return !FolderTileExtension(QDir(file.absoluteFilePath()), minZoom, maxZoom).empty();
  }
  if (!file.isFile()) return false;
  std::string error;
  auto tiles = TMbTiles::Open(file.absoluteFilePath().toStdString(), error);
  return tiles && tiles->Vector();
}

std::shared_ptr<TVectorSource> OpenVectorSource(const std::string& path, std::string& error) {
  const std::string url = IsEndpointName(path) ? GetEndpoint("vector") : path;
  if (url.empty()) {
    error = "the setting endpoint.vector holds no address of vector tiles";
    return nullptr;
  }
  if (IsTemplate(url)) {
    auto source = std::make_shared<TTemplateVectorSource>(url);
    source->Name = "VHTTP-" + SanitizePathComponent(url.substr(url.find("//") + 2,
                                                               url.find('{') - url.find("//") - 2));
    source->MinZoom = 0;
    source->MaxZoom = static_cast<int>(GetSettingInt("vector.max-zoom", 14));
    return source;
  }
  if (IsHttp(url)) {
    std::string base = url.substr(url.find_last_of('/') + 1);
    if (EndsWith(LowerAscii(base), ".pmtiles")) base.resize(base.size() - 8);
    return OpenPmTiles(HttpRangeReader(url), url, SanitizePathComponent(base), error);
  }
  const QFileInfo file(QString::fromStdString(path));
  if (file.isDir()) {
    const QDir dir(file.absoluteFilePath());
    int minZoom, maxZoom;
    const std::string extension = FolderTileExtension(dir, minZoom, maxZoom);
    if (extension.empty()) {
      error = path + " holds no vector tiles (<z>/<x>/<y>.pbf or .mvt)";
      return nullptr;
    }
    auto source =
        std::make_shared<TFolderVectorSource>(dir.absolutePath().toStdString(), extension);
    source->Name = "VDIR-" + dir.dirName().toStdString();
    source->MinZoom = minZoom;
    source->MaxZoom = maxZoom;
    return source;
  }
  if (!file.exists()) {
    error = path + " does not exist";
    return nullptr;
  }
  if (EndsWith(LowerAscii(path), ".pmtiles")) {
    TRangeReader reader = FileRangeReader(file.absoluteFilePath().toStdString(), error);
    if (!reader) return nullptr;
    return OpenPmTiles(std::move(reader), path, file.completeBaseName().toStdString(), error);
  }
  auto tiles = TMbTiles::Open(file.absoluteFilePath().toStdString(), error);
  if (!tiles) return nullptr;
  if (!tiles->Vector()) {
    error = path + " holds images, not vector tiles";
    return nullptr;
  }
  if (!tiles->HasTiles()) {
    error = path + " holds no tiles";
    return nullptr;
  }
  auto source = std::make_shared<TMbTilesVectorSource>(tiles);
  source->Name = "VMBTILES-" + file.completeBaseName().toStdString();
  source->MinZoom = tiles->MinZoom();
  source->MaxZoom = tiles->MaxZoom();
  source->Attribution = tiles->Attribution();
  source->LayerIds = VectorLayerIds(tiles->Json());
  return source;
}

TVectorTileDrawer::TVectorTileDrawer(std::shared_ptr<TVectorSource> source,
                                     std::shared_ptr<TVectorStyle> style)
    : FSource(std::move(source)), FStyle(std::move(style)) {}

void TVectorTileDrawer::Locate(int x, int y, int z, int& sourceX, int& sourceY, int& sourceZ,
                               TTileWindow& window) const {
  window = TTileWindow();
  sourceX = x;
  sourceY = y;
  sourceZ = z;
  if (z <= FSource->MaxZoom) return;
  window.Depth = z - FSource->MaxZoom;
  sourceZ = FSource->MaxZoom;
  sourceX = x >> window.Depth;
  sourceY = y >> window.Depth;
  window.SubX = static_cast<uint32_t>(x - (sourceX << window.Depth));
  window.SubY = static_cast<uint32_t>(y - (sourceY << window.Depth));
}

std::shared_ptr<const TVectorTile> TVectorTileDrawer::Decoded(int x, int y, int z,
                                                              std::string& error) {
  const int64_t key = TileKey(x, y, z);
  {
    std::lock_guard<std::mutex> lock(FMutex);
    for (auto it = FCache.begin(); it != FCache.end(); ++it) {
      if (it->Key != key) continue;
      FCache.splice(FCache.begin(), FCache, it);
      return FCache.front().Tile;
    }
  }
  std::string stored, bytes;
  if (!FSource->ReadTile(x, y, z, stored, error)) return nullptr;
  if (!InflateTileBytes(stored, bytes, error)) return nullptr;
  auto tile = std::make_shared<TVectorTile>();
  if (!DecodeVectorTile(bytes.data(), bytes.size(), *tile, error)) return nullptr;
  std::lock_guard<std::mutex> lock(FMutex);
  FCache.push_front(TCached{key, tile});
  if (FCache.size() > kDecodedKept) FCache.pop_back();
  return tile;
}

bool TVectorTileDrawer::Draw(int x, int y, int z, int scale, QImage& image, std::string& error,
                             bool labels) {
  error.clear();
  if (z < FSource->MinZoom || z > kMaxVectorZoom || z < 0) return false;
  TTileWindow window;
  int sourceX, sourceY, sourceZ;
  Locate(x, y, z, sourceX, sourceY, sourceZ, window);
  auto tile = Decoded(sourceX, sourceY, sourceZ, error);
  if (!tile) {
    if (!error.empty())
      error = "vector tile " + std::to_string(sourceZ) + "/" + std::to_string(sourceX) + "/" +
              std::to_string(sourceY) + ": " + error;
    return false;
  }
  TVectorDrawOptions options;
  options.Scale = scale;
  options.Labels = labels;
  // The tiles around, for the labels near the edges (kept decoded).
  std::vector<std::shared_ptr<const TVectorTile>> kept;
  std::vector<TNeighbourTile> neighbours;
  const int side = 1 << z;
  for (int dy = -1; labels && dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const int nx = x + dx, ny = y + dy;
      if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= side || ny >= side) continue;
      TNeighbourTile n;
      int ax, ay, az;
      Locate(nx, ny, z, ax, ay, az, n.Window);
      std::string ignored;
      auto other = Decoded(ax, ay, az, ignored);
      if (!other) continue;
      n.Tile = other.get();
      n.Dx = dx;
      n.Dy = dy;
      kept.push_back(std::move(other));
      neighbours.push_back(n);
    }
  image = DrawVectorTile(*FStyle, *tile, z, window, options, neighbours);
  return !image.isNull();
}

bool TVectorTileDrawer::DrawPng(int x, int y, int z, int scale, std::string& bytes) {
  bytes.clear();
  QImage image;
  std::string error;
  if (!Draw(x, y, z, scale, image, error)) {
    if (!error.empty()) LogWarning("tiles", error);
    return false;
  }
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  // Fast compression: the bytes live in memory only.
  if (!image.save(&buffer, "PNG", 90)) return false;
  bytes.assign(data.constData(), static_cast<size_t>(data.size()));
  return true;
}

std::shared_ptr<TVectorStyle> LoadVectorStyle(const std::string& path, std::string& error) {
  if (path.empty()) return TVectorStyle::Default();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the style " + path;
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto style = TVectorStyle::Parse(text.str(), error);
  if (!style) error = path + ": " + error;
  return style;
}

bool UseVectorTileSource(const std::string& path, const std::string& stylePath,
                         TTileServerInfo& info, std::string& error) {
  auto style = LoadVectorStyle(stylePath, error);
  if (!style) return false;
  auto source = OpenVectorSource(path, error);
  if (!source) return false;
  auto drawer = std::make_shared<TVectorTileDrawer>(source, style);
  info.GetTileFilename = nullptr;
  info.GetTileData = nullptr;
  info.GetTileDrawn = [drawer](int x, int y, int z, int scale, std::string& bytes) {
    return drawer->DrawPng(x, y, z, scale, bytes);
  };
  // The style is part of what is drawn: another style is another cache.
  info.Name =
      source->Name +
      (stylePath.empty()
           ? ""
           : "-" + QFileInfo(QString::fromStdString(stylePath)).completeBaseName().toStdString());
  info.MinZoom = static_cast<uint8_t>(source->MinZoom);
  info.MaxZoom = static_cast<uint8_t>(kMaxVectorZoom);
  info.CopyRight = PlainAttribution(source->Attribution);
  info.CopyRightUrl.clear();
  info.LocalPath = true;
  info.SetTileFormat(stPng);
  return true;
}

}  // namespace wy
