#pragma once
// TPmTiles: read access to a PMTiles archive (version 3): one file holding
// a tile pyramid, found through a header of 127 bytes and directories of
// tile entries ordered along a Hilbert curve. The archive is read through a
// range reader, so the same code reads a local file or a remote one by HTTP
// range requests. Directories read are kept (a bounded number of them).
//
// Thread-safe: one lock serialises the reads.

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace wy {

// Reads `length` bytes at `offset` of the archive into `out`; false with the
// reason in `error`. Fewer bytes than asked count as a failure.
using TRangeReader =
    std::function<bool(uint64_t offset, uint64_t length, std::string& out, std::string& error)>;

// A range reader over a local file; null with the reason when it cannot be
// opened.
TRangeReader FileRangeReader(const std::string& path, std::string& error);

enum TPmCompression : uint8_t { pcUnknown = 0, pcNone = 1, pcGzip = 2, pcBrotli = 3, pcZstd = 4 };
enum TPmTileType : uint8_t {
  ptUnknown = 0,
  ptMvt = 1,
  ptPng = 2,
  ptJpeg = 3,
  ptWebp = 4,
  ptAvif = 5
};

struct TPmHeader {
  uint64_t RootOffset = 0, RootLength = 0;
  uint64_t MetadataOffset = 0, MetadataLength = 0;
  uint64_t LeafOffset = 0, LeafLength = 0;
  uint64_t DataOffset = 0, DataLength = 0;
  uint64_t AddressedTiles = 0, TileEntries = 0, TileContents = 0;
  bool Clustered = false;
  TPmCompression InternalCompression = pcUnknown;
  TPmCompression TileCompression = pcUnknown;
  TPmTileType TileType = ptUnknown;
  int MinZoom = 0, MaxZoom = 0;
  double MinLon = 0, MinLat = 0, MaxLon = 0, MaxLat = 0;
  int CenterZoom = 0;
  double CenterLon = 0, CenterLat = 0;
};

struct TPmEntry {
  uint64_t TileId = 0;
  uint64_t Offset = 0;
  uint32_t Length = 0;
  uint32_t RunLength = 0;  // 0: the entry points at a leaf directory
};

constexpr size_t kPmHeaderSize = 127;

// The header from its 127 bytes; false with the reason when they are not a
// version 3 header.
bool ParsePmHeader(const std::string& bytes, TPmHeader& header, std::string& error);

// A directory from its uncompressed bytes. Entries must be ordered by tile
// id; the work done is bounded by the size of the input.
bool ParsePmDirectory(const std::string& bytes, std::vector<TPmEntry>& entries, std::string& error);

// The tile id of (z, x, y): the tiles of all lower zooms, then the position
// along the Hilbert curve of zoom z.
uint64_t PmTileId(int z, uint32_t x, uint32_t y);

class TPmTiles {
 public:
  static std::shared_ptr<TPmTiles> Open(TRangeReader reader, std::string& error);

  const TPmHeader& Header() const { return FHeader; }
  // The JSON metadata, uncompressed; empty when unreadable.
  const std::string& Metadata() const { return FMetadata; }

  // The bytes of tile (x, y, z) as stored (compressed as Header() says).
  // False with `error` empty when the archive has no such tile, with the
  // reason when reading failed.
  bool ReadTile(int x, int y, int z, std::string& bytes, std::string& error);

 private:
  TPmTiles() = default;
  bool Directory(uint64_t offset, uint64_t length,
                 std::shared_ptr<const std::vector<TPmEntry>>& out, std::string& error);
  bool Internal(uint64_t offset, uint64_t length, std::string& out, std::string& error);

  TRangeReader FReader;
  TPmHeader FHeader;
  std::string FMetadata;
  std::mutex FMutex;
  // Directories read, by offset; the most recently used first.
  std::list<std::pair<uint64_t, std::shared_ptr<const std::vector<TPmEntry>>>> FDirectories;
};

}  // namespace wy
