#include "tiles/pmtiles.h"

#include <cstdio>
#include <cstring>

#include "tiles/vector_tile.h"

namespace wy {

namespace {

constexpr size_t kMaxDirectories = 64;
// Root and leaf directories are small by design; anything larger is refused
// before it is read.
constexpr uint64_t kMaxDirectoryBytes = 16u << 20;
constexpr uint64_t kMaxMetadataBytes = 4u << 20;
constexpr uint64_t kMaxTileBytes = 16u << 20;
constexpr int kMaxDepth = 4;
constexpr int kMaxZoom = 26;

uint64_t Le64(const unsigned char* p) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

int32_t Le32(const unsigned char* p) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | p[i];
  return static_cast<int32_t>(value);
}

bool ReadVarint(const unsigned char*& at, const unsigned char* end, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && at < end; shift += 7) {
    const unsigned char byte = *at++;
    value |= uint64_t(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return true;
  }
  return false;
}

bool Overflows(uint64_t offset, uint64_t length, uint64_t limit) {
  return offset > limit || length > limit - offset;
}

}  // namespace

TRangeReader FileRangeReader(const std::string& path, std::string& error) {
  std::shared_ptr<FILE> file(std::fopen(path.c_str(), "rb"), [](FILE* f) {
    if (f) std::fclose(f);
  });
  if (!file) {
    error = "cannot open " + path;
    return nullptr;
  }
  auto mutex = std::make_shared<std::mutex>();
  return
      [file, mutex, path](uint64_t offset, uint64_t length, std::string& out, std::string& error) {
        std::lock_guard<std::mutex> lock(*mutex);
        out.assign(length, '\0');
        if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fread(out.data(), 1, length, file.get()) != length) {
          out.clear();
          error = path + " ends before byte " + std::to_string(offset + length);
          return false;
        }
        return true;
      };
}

uint64_t PmTileId(int z, uint32_t x, uint32_t y) {
  uint64_t base = 0;
  for (int i = 0; i < z; ++i) base += uint64_t(1) << (2 * i);
  const uint64_t n = uint64_t(1) << z;
  uint64_t tx = x, ty = y, d = 0;
  for (uint64_t s = n / 2; s > 0; s /= 2) {
    const uint64_t rx = (tx & s) > 0 ? 1 : 0;
    const uint64_t ry = (ty & s) > 0 ? 1 : 0;
    d += s * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        tx = n - 1 - tx;
        ty = n - 1 - ty;
      }
      std::swap(tx, ty);
    }
  }
  return base + d;
}

bool ParsePmHeader(const std::string& bytes, TPmHeader& h, std::string& error) {
  if (bytes.size() < kPmHeaderSize || std::memcmp(bytes.data(), "PMTiles", 7) != 0) {
    error = "not a PMTiles archive";
    return false;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (p[7] != 3) {
    error = "PMTiles version " + std::to_string(p[7]) + " is not read (version 3 only)";
    return false;
  }
  h.RootOffset = Le64(p + 8);
  h.RootLength = Le64(p + 16);
  h.MetadataOffset = Le64(p + 24);
  h.MetadataLength = Le64(p + 32);
  h.LeafOffset = Le64(p + 40);
  h.LeafLength = Le64(p + 48);
  h.DataOffset = Le64(p + 56);
  h.DataLength = Le64(p + 64);
  h.AddressedTiles = Le64(p + 72);
  h.TileEntries = Le64(p + 80);
  h.TileContents = Le64(p + 88);
  h.Clustered = p[96] == 1;
  h.InternalCompression = static_cast<TPmCompression>(p[97]);
  h.TileCompression = static_cast<TPmCompression>(p[98]);
  h.TileType = static_cast<TPmTileType>(p[99]);
  h.MinZoom = p[100];
  h.MaxZoom = p[101];
  h.MinLon = Le32(p + 102) / 1e7;
  h.MinLat = Le32(p + 106) / 1e7;
  h.MaxLon = Le32(p + 110) / 1e7;
  h.MaxLat = Le32(p + 114) / 1e7;
  h.CenterZoom = p[118];
  h.CenterLon = Le32(p + 119) / 1e7;
  h.CenterLat = Le32(p + 123) / 1e7;
  if (h.MinZoom > h.MaxZoom || h.MaxZoom > kMaxZoom) {
    error = "the archive's zoom range " + std::to_string(h.MinZoom) + " to " +
            std::to_string(h.MaxZoom) + " is not valid";
    return false;
  }
  if (h.InternalCompression != pcNone && h.InternalCompression != pcGzip) {
    error = "directories compressed with method " + std::to_string(p[97]) +
            " cannot be read (none or gzip only)";
    return false;
  }
  if (h.TileCompression != pcNone && h.TileCompression != pcGzip &&
      h.TileCompression != pcUnknown) {
    error = "tiles compressed with method " + std::to_string(p[98]) +
            " cannot be read (none or gzip only)";
    return false;
  }
  if (h.RootLength == 0 || h.RootLength > kMaxDirectoryBytes) {
    error = "the archive's root directory is missing or too large";
    return false;
  }
  return true;
}

bool ParsePmDirectory(const std::string& bytes, std::vector<TPmEntry>& entries,
                      std::string& error) {
  entries.clear();
  const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = at + bytes.size();
  uint64_t count = 0;
  if (!ReadVarint(at, end, count)) {
    error = "a directory is cut short";
    return false;
  }
  // Four numbers of at least one byte each per entry.
  if (count > static_cast<uint64_t>(end - at) / 4) {
    error = "a directory lists more entries than it holds";
    return false;
  }
  entries.resize(count);
  uint64_t id = 0, value = 0;
  bool ok = true;
  for (uint64_t i = 0; ok && i < count; ++i) {
    ok = ReadVarint(at, end, value);
    if (ok && i > 0 && value == 0) {
      error = "a directory repeats a tile id";
      entries.clear();
      return false;
    }
    id += value;
    entries[i].TileId = id;
  }
  for (uint64_t i = 0; ok && i < count; ++i) {
    ok = ReadVarint(at, end, value) && value <= UINT32_MAX;
    entries[i].RunLength = static_cast<uint32_t>(value);
  }
  for (uint64_t i = 0; ok && i < count; ++i) {
    ok = ReadVarint(at, end, value) && value <= UINT32_MAX;
    entries[i].Length = static_cast<uint32_t>(value);
  }
  for (uint64_t i = 0; ok && i < count; ++i) {
    ok = ReadVarint(at, end, value);
    if (!ok) break;
    if (value == 0 && i > 0) {
      entries[i].Offset = entries[i - 1].Offset + entries[i - 1].Length;
    } else if (value == 0) {
      error = "a directory's first entry has no offset";
      entries.clear();
      return false;
    } else {
      entries[i].Offset = value - 1;
    }
  }
  if (!ok) {
    error = "a directory is cut short or holds a number out of range";
    entries.clear();
    return false;
  }
  return true;
}

std::shared_ptr<TPmTiles> TPmTiles::Open(TRangeReader reader, std::string& error) {
  if (!reader) {
    error = "no archive";
    return nullptr;
  }
  std::string head;
  if (!reader(0, kPmHeaderSize, head, error)) {
    if (error.empty()) error = "cannot read the archive's header";
    return nullptr;
  }
  std::shared_ptr<TPmTiles> archive(new TPmTiles());
  archive->FReader = std::move(reader);
  if (!ParsePmHeader(head, archive->FHeader, error)) return nullptr;
  const TPmHeader& h = archive->FHeader;
  std::shared_ptr<const std::vector<TPmEntry>> root;
  if (!archive->Directory(h.RootOffset, h.RootLength, root, error)) return nullptr;
  if (h.MetadataLength > 0 && h.MetadataLength <= kMaxMetadataBytes) {
    std::string ignored;
    if (!archive->Internal(h.MetadataOffset, h.MetadataLength, archive->FMetadata, ignored))
      archive->FMetadata.clear();
  }
  return archive;
}

bool TPmTiles::Internal(uint64_t offset, uint64_t length, std::string& out, std::string& error) {
  std::string raw;
  if (!FReader(offset, length, raw, error)) return false;
  if (FHeader.InternalCompression == pcNone) {
    out = std::move(raw);
    return true;
  }
  return InflateCompressed(raw, out, error, kMaxDirectoryBytes * 4);
}

bool TPmTiles::Directory(uint64_t offset, uint64_t length,
                         std::shared_ptr<const std::vector<TPmEntry>>& out, std::string& error) {
  for (auto it = FDirectories.begin(); it != FDirectories.end(); ++it) {
    if (it->first != offset) continue;
    FDirectories.splice(FDirectories.begin(), FDirectories, it);
    out = FDirectories.front().second;
    return true;
  }
  if (length == 0 || length > kMaxDirectoryBytes) {
    error = "a directory of " + std::to_string(length) + " bytes is not read";
    return false;
  }
  std::string bytes;
  if (!Internal(offset, length, bytes, error)) return false;
  auto entries = std::make_shared<std::vector<TPmEntry>>();
  if (!ParsePmDirectory(bytes, *entries, error)) return false;
  FDirectories.emplace_front(offset, entries);
  if (FDirectories.size() > kMaxDirectories) FDirectories.pop_back();
  out = std::move(entries);
  return true;
}

bool TPmTiles::ReadTile(int x, int y, int z, std::string& bytes, std::string& error) {
  bytes.clear();
  error.clear();
  if (z < FHeader.MinZoom || z > FHeader.MaxZoom || z < 0 || z > kMaxZoom) return false;
  const uint32_t side = uint32_t(1) << z;
  if (x < 0 || y < 0 || uint32_t(x) >= side || uint32_t(y) >= side) return false;
  const uint64_t id = PmTileId(z, x, y);
  std::lock_guard<std::mutex> lock(FMutex);
  uint64_t offset = FHeader.RootOffset, length = FHeader.RootLength;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    std::shared_ptr<const std::vector<TPmEntry>> directory;
    if (!Directory(offset, length, directory, error)) return false;
    // The last entry whose id is not past the tile's.
    size_t lo = 0, hi = directory->size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if ((*directory)[mid].TileId <= id)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo == 0) return false;
    const TPmEntry& entry = (*directory)[lo - 1];
    if (entry.RunLength == 0) {
      if (Overflows(FHeader.LeafOffset, entry.Offset, UINT64_MAX)) {
        error = "a leaf directory lies past the end of any file";
        return false;
      }
      offset = FHeader.LeafOffset + entry.Offset;
      length = entry.Length;
      continue;
    }
    if (id - entry.TileId >= entry.RunLength) return false;
    if (entry.Length > kMaxTileBytes || Overflows(FHeader.DataOffset, entry.Offset, UINT64_MAX)) {
      error = "a tile entry is out of range";
      return false;
    }
    return FReader(FHeader.DataOffset + entry.Offset, entry.Length, bytes, error);
  }
  error = "the archive's directories nest too deep";
  return false;
}

}  // namespace wy
