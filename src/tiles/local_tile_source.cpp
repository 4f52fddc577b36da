#include "tiles/local_tile_source.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

#include "geo/settings.h"
#include "geo/text_convert.h"
#include "tiles/mbtiles.h"
#include "tiles/vector_source.h"

namespace wy {

namespace {

constexpr size_t kMaxAttribution = 200;
constexpr int kMaxZoom = 30;

// A name of the source for its cache keys: a prefix no built-in service
// has, and the file or folder name.
std::string SourceName(const char* prefix, const QString& name) {
  return std::string(prefix) + name.toStdString();
}

// The zoom range of a tile folder: its sub-folders named 0 to 30.
bool FolderZooms(const QDir& dir, int& minZoom, int& maxZoom) {
  minZoom = kMaxZoom + 1;
  maxZoom = -1;
  for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    const int zoom = name.toInt(&number);
    if (!number || zoom < 0 || zoom > kMaxZoom || QString::number(zoom) != name) continue;
    minZoom = std::min(minZoom, zoom);
    maxZoom = std::max(maxZoom, zoom);
  }
  return maxZoom >= 0;
}

}  // namespace

std::string PlainAttribution(const std::string& text) {
  std::string plain = HtmlToText(text);
  for (char& c : plain)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  plain = Trim(plain);
  if (plain.size() > kMaxAttribution) {
    size_t cut = kMaxAttribution;
    // Back to the start of a character.
    while (cut > 0 && (static_cast<unsigned char>(plain[cut]) & 0xC0) == 0x80) --cut;
    plain.resize(cut);
  }
  return plain;
}

bool UseLocalTileSource(const std::string& path, TTileServerInfo& info, std::string& error) {
  return UseLocalTileSource(path, GetSetting("vector.style"), info, error);
}

bool UseLocalTileSource(const std::string& path, const std::string& stylePath,
                        TTileServerInfo& info, std::string& error) {
  if (IsVectorSource(path)) return UseVectorTileSource(path, stylePath, info, error);
  const QFileInfo file(QString::fromStdString(path));
  if (!file.exists()) {
    error = path + " does not exist";
    return false;
  }
  if (file.isDir()) {
    const QDir dir(file.absoluteFilePath());
    int minZoom, maxZoom;
    if (!FolderZooms(dir, minZoom, maxZoom)) {
      error = path + " holds no tile folders (<z>/<x>/<y>.png)";
      return false;
    }
    const std::string root = dir.absolutePath().toStdString();
    info.GetTileData = nullptr;
    info.GetTileDrawn = nullptr;
    info.GetTileFilename = [root](std::string& name, int x, int y, int z) {
      name = root + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) +
             ".png";
    };
    info.Name = SourceName("DIR-", dir.dirName());
    info.MinZoom = static_cast<uint8_t>(minZoom);
    info.MaxZoom = static_cast<uint8_t>(maxZoom);
    info.CopyRight.clear();
    info.CopyRightUrl.clear();
    info.LocalPath = true;
    info.SetTileFormat(stPng);
    return true;
  }
  // Absolute, so that SQLite never reads a name starting "file:" as a URI.
  std::shared_ptr<TMbTiles> tiles = TMbTiles::Open(file.absoluteFilePath().toStdString(), error);
  if (!tiles) return false;
  if (tiles->Vector()) {
    // A vector file without tiles: nothing to draw.
    error = path + " holds no tiles";
    return false;
  }
  info.GetTileFilename = nullptr;
  info.GetTileDrawn = nullptr;
  info.GetTileData = [tiles](int x, int y, int z, std::string& bytes) {
    return tiles->ReadTile(x, y, z, bytes);
  };
  info.Name = SourceName("MBTILES-", file.completeBaseName());
  info.MinZoom = static_cast<uint8_t>(tiles->MinZoom());
  info.MaxZoom = static_cast<uint8_t>(tiles->MaxZoom());
  info.CopyRight = PlainAttribution(tiles->Attribution());
  info.CopyRightUrl.clear();
  info.LocalPath = true;
  info.SetTileFormat(tiles->Format());
  return true;
}

}  // namespace wy
