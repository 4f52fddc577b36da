#include "tiles/tile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/log.h"

namespace wy {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMetaSuffix = ".meta";
constexpr const char* kPartSuffix = ".part";

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() > tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// "<name>.<process id>-<number>.part" beside the target.
fs::path TemporaryPathFor(const fs::path& target) {
  static std::atomic<unsigned long> counter{0};
  fs::path temporary = target;
  temporary += "." + std::to_string(static_cast<long>(::getpid())) + "-" +
               std::to_string(++counter) + kPartSuffix;
  return temporary;
}

// Writes the bytes to a new temporary file beside `target` (its folders made
// as needed); empty on failure, with nothing left behind.
fs::path WriteTemporary(const fs::path& target, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (error) return fs::path();
  const fs::path temporary = TemporaryPathFor(target);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return fs::path();
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    fs::remove(temporary, error);
    return fs::path();
  }
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

// Reads the file from `done` on to its end into `content`, which grows when
// it fills up if `grow` is set (else the reading stops there). A read that
// leaves room has met the end of a regular file. False on a read error (a
// folder, for one).
bool ReadToEnd(int fd, std::string& content, size_t& done, bool grow) {
  for (;;) {
    if (done == content.size()) {
      if (!grow) return true;
      content.resize(content.size() + 4096);
    }
    const ssize_t n = ::read(fd, &content[done], content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    done += static_cast<size_t>(n);
    if (done < content.size()) return true;
  }
}

}  // namespace

bool ReadTileFile(const std::string& path, std::string& bytes, int64_t* modified) {
  if (path.empty()) return false;
  const int fd = ::open(fs::u8path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::string content;
  if (ok) {
    try {
      // One byte more than the size, so that a whole file is one read.
      content.resize(static_cast<size_t>(info.st_size) + 1);
    } catch (...) {
      LogCaughtException(llWarning, "tiles", "reading the tile file " + path);
      ok = false;
    }
  }
  size_t done = 0;
  ok = ok && ReadToEnd(fd, content, done, true);
  ::close(fd);
  if (!ok) return false;
  content.resize(done);
  bytes = std::move(content);
  if (modified != nullptr) *modified = static_cast<int64_t>(info.st_mtim.tv_sec);
  return true;
}

bool ReadSmallTileFile(const std::string& path, size_t maxBytes, std::string& text) {
  if (path.empty() || maxBytes == 0) return false;
  const int fd = ::open(fs::u8path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string content(maxBytes + 1, '\0');
  size_t done = 0;
  const bool ok = ReadToEnd(fd, content, done, false);
  ::close(fd);
  // A folder reads as an error; more than maxBytes is not what was asked for.
  if (!ok || done > maxBytes) return false;
  content.resize(done);
  text = std::move(content);
  return true;
}

bool WriteTileFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  std::error_code error;
  const fs::path target = fs::u8path(path);
  if (fs::exists(target, error)) return false;
  const fs::path temporary = WriteTemporary(target, bytes);
  return !temporary.empty() && MoveIntoPlace(temporary, target);
}

bool ReplaceTileFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  const fs::path target = fs::u8path(path);
  const fs::path temporary = WriteTemporary(target, bytes);
  if (temporary.empty()) return false;
  std::error_code error;
  fs::rename(temporary, target, error);
  if (!error) return true;
  fs::remove(temporary, error);
  return false;
}

bool TileFileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(fs::u8path(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool RemoveTileFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  const bool removed = fs::remove(fs::u8path(path), error);
  // The record goes after the tile: a record without its tile is never
  // used, a tile with a stale record could be.
  fs::remove(fs::u8path(TileMetaPath(path)), error);
  return removed;
}

bool TouchTileFile(const std::string& path) {
  if (path.empty()) return false;
  const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
  return ::utimensat(AT_FDCWD, fs::u8path(path).c_str(), times, 0) == 0;
}

std::string TileMetaPath(const std::string& tilePath) {
  return tilePath + kMetaSuffix;
}

bool IsTileMetaName(const std::string& fileName) {
  return EndsWith(fileName, kMetaSuffix);
}

bool IsTemporaryTileName(const std::string& fileName) {
  return EndsWith(fileName, kPartSuffix);
}

}  // namespace wy
