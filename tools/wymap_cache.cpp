#include "tools/wymap_cache.h"

#include <cmath>
#include <ctime>

#include "platform/wall_clock.h"
#include "tiles/tile_disk_cache.h"
#include "tools/wymap_cli.h"

namespace wy {

namespace {

// "2024-05-01T12:00:00Z".
std::string UtcText(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (gmtime_r(&time, &parts) == nullptr) return "?";
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return buffer;
}

int Stats(const TCacheCommand& command, std::ostream& out) {
  const auto folders = TileCacheStats(command.Folder);
  uint64_t tiles = 0, bytes = 0;
  for (const auto& folder : folders) {
    tiles += folder.Tiles;
    bytes += folder.Bytes;
  }
  const uint64_t budget = DiskCacheBudget();
  if (command.Json) {
    out << "{\"cache\":" << JsonString(command.Folder) << ",\"tiles\":" << tiles
        << ",\"bytes\":" << bytes << ",\"budget\":" << budget << ",\"folders\":[";
    for (size_t i = 0; i < folders.size(); ++i) {
      const auto& f = folders[i];
      out << (i == 0 ? "\n" : ",\n") << "  {\"name\":" << JsonString(f.Name)
          << ",\"tiles\":" << f.Tiles << ",\"bytes\":" << f.Bytes << ",\"least_recent_use\":\""
          << UtcText(f.OldestUse) << "\",\"most_recent_use\":\"" << UtcText(f.NewestUse) << "\"}";
    }
    out << (folders.empty() ? "]}\n" : "\n]}\n");
    return kWymapOk;
  }
  for (const auto& f : folders)
    out << f.Name << '\t' << f.Tiles << '\t' << f.Bytes << '\t' << UtcText(f.OldestUse) << '\t'
        << UtcText(f.NewestUse) << '\n';
  out << "total\t" << tiles << '\t' << bytes << '\t' << budget << '\n';
  return kWymapOk;
}

int Clear(const TCacheCommand& command, std::ostream& out) {
  const int64_t usedBefore =
      command.HasOlderThan
          ? WallClockSeconds() - static_cast<int64_t>(std::llround(command.OlderThanDays * 86400))
          : -1;
  const TTileCacheCleared cleared = ClearTileCache(command.Folder, usedBefore);
  if (command.Json)
    out << "{\"tiles\":" << cleared.Tiles << ",\"bytes\":" << cleared.Bytes << "}\n";
  else
    out << "removed\t" << cleared.Tiles << '\t' << cleared.Bytes << '\n';
  return kWymapOk;
}

}  // namespace

int RunCacheCommand(const TCacheCommand& command, std::ostream& out, std::ostream& err) {
  if (command.Folder.empty()) {
    err << "wymap: cache wants a cache folder (--cache DIR)\n";
    return kWymapUsage;
  }
  return command.Action == "clear" ? Clear(command, out) : Stats(command, out);
}

}  // namespace wy
