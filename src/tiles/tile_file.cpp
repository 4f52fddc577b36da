#include "tiles/tile_file.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace wy {

namespace {

namespace fs = std::filesystem;

// "<name>.<process id>-<number>.part" beside the tile's file.
fs::path TemporaryPathFor(const fs::path& target) {
  static std::atomic<unsigned long> counter{0};
  fs::path temporary = target;
  temporary += "." + std::to_string(static_cast<long>(::getpid())) + "-" +
               std::to_string(++counter) + ".part";
  return temporary;
}

// Gives `temporary` the name `target` unless that exists; the temporary file
// is gone afterwards either way.
bool MoveIntoPlace(const fs::path& temporary, const fs::path& target) {
  std::error_code error;
  // A hard link fails when the target exists, so a file another writer
  // put there first stays untouched.
  fs::create_hard_link(temporary, target, error);
  bool placed = !error;
  if (error && error != std::errc::file_exists) {
    // A file system without hard links: a rename, which replaces a file
    // that appeared meanwhile with an equally whole one.
    error.clear();
    if (!fs::exists(target, error)) {
      fs::rename(temporary, target, error);
      placed = !error;
    }
  }
  fs::remove(temporary, error);
  return placed;
}

}  // namespace

bool ReadTileFile(const std::string& path, std::string& bytes) {
  std::error_code error;
  if (path.empty() || !fs::is_regular_file(fs::u8path(path), error)) return false;
  std::ifstream file(fs::u8path(path), std::ios::binary);
  if (!file) return false;
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  bytes = std::move(content);
  return true;
}

bool WriteTileFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  std::error_code error;
  const fs::path target = fs::u8path(path);
  if (fs::exists(target, error)) return false;
  fs::create_directories(target.parent_path(), error);
  if (error) return false;
  const fs::path temporary = TemporaryPathFor(target);
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
      fs::remove(temporary, error);
      return false;
    }
  }
  return MoveIntoPlace(temporary, target);
}

bool RemoveTileFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  return fs::remove(fs::u8path(path), error);
}

}  // namespace wy
