#include "formats/shape_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "formats/geojson_import.h"
#include "formats/gpx_import.h"
#include "formats/kml_import.h"
#include "formats/kmz_archive.h"
#include "geo/memory_advice.h"
#include "geo/stream.h"
#include "geo/web_fetch.h"
#include "platform/log.h"

namespace wy {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kWriteChunk = 1 << 20;

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string WithoutBom(std::string text) {
  if (text.compare(0, kBom.size(), kBom) == 0) text.erase(0, kBom.size());
  return text;
}

// Writes all of [data, data + size) to fd; false on any error.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The BOM (with `bom`), then the lines of `text` each ended by CR LF,
// through a buffer.
bool WriteLines(int fd, std::string_view text, bool bom = true) {
  std::string buffer(bom ? kBom : "");
  buffer.reserve(kWriteChunk + 2);
  std::string_view rest(text);
  if (rest.compare(0, kBom.size(), kBom) == 0) rest.remove_prefix(kBom.size());
  while (!rest.empty()) {
    const size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    size_t used = line.size();
    if (end != std::string_view::npos) {
      used = end + 1;
      if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ++used;
    }
    // A long line goes out in pieces.
    for (size_t from = 0; from < line.size();) {
      const size_t piece = std::min(line.size() - from, kWriteChunk);
      buffer.append(line.substr(from, piece));
      from += piece;
      if (buffer.size() >= kWriteChunk) {
        if (!WriteAll(fd, buffer.data(), buffer.size())) return false;
        buffer.clear();
      }
    }
    buffer += "\r\n";
    rest.remove_prefix(std::min(used, rest.size()));
  }
  return WriteAll(fd, buffer.data(), buffer.size());
}

std::atomic<uint32_t> gTempCounter{0};

// Creates a new, empty file beside `target`; its name in `path`.
int CreateTempBeside(const std::filesystem::path& target, std::string& path) {
  const std::filesystem::path folder = target.parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + target.filename().string() + ".saving-" +
                             std::to_string(::getpid()) + "-" + std::to_string(++gTempCounter);
    path = (folder / name).string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The whole file, read in one piece when its size is known.
bool ReadWholeFile(const std::string& name, std::string& text) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return false;
  std::string bytes;
  struct stat st {};
  // A regular file is read straight into its text in one call (no copy
  // through a buffer); whatever follows (a growing file, a pipe) in pieces.
  if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    ReserveText(bytes, static_cast<size_t>(st.st_size));
    bytes.resize(static_cast<size_t>(st.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  }
  char buffer[1 << 16];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) return false;
  if (bytes.compare(0, kBom.size(), kBom) == 0) bytes.erase(0, kBom.size());
  text = std::move(bytes);
  return true;
}

bool IsLocalFile(const std::string& name) {
  std::error_code error;
  return !name.empty() && std::filesystem::exists(name, error) &&
         !std::filesystem::is_directory(name, error);
}

bool Download(const std::string& address, std::string& text,
              const std::function<bool()>& abort = {}, std::string* error = nullptr) {
  if (!IsWebAddress(address)) {
    if (error) *error = "no such file: " + address;
    return false;
  }
  TMemoryStream stream;
  TDownloadOptions options;
  options.Abort = abort;
  TDownloadResult result;
  if (!DownloadToStream(address, &stream, options, &result)) {
    LogWarning("formats", "cannot download " + address + ": " + result.Error);
    if (error) *error = "cannot download " + address + ": " + result.Error;
    return false;
  }
  text = WithoutBom(stream.DataString());
  return true;
}

}  // namespace

std::string FileExtension(const std::string& name) {
  std::string path = name;
  if (IsWebAddress(name)) path = path.substr(0, path.find_first_of("?#"));
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return LowerAscii(path.substr(dot));
}

namespace {

// The kind of a source by its extension and, for ".json" and ".geojson",
// by its content: GeoJSON is an object, so a first non-blank "{" means
// GeoJSON and anything else the own format (older own files were saved
// under ".geojson").
TShapeSourceKind KindOfContent(const std::string& name, const std::string& text) {
  const TShapeSourceKind kind = ShapeSourceKindOf(name);
  if (kind != skGeoJSON) return kind;
  size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
    ++i;
  return (i < text.size() && text[i] == '{') ? skGeoJSON : skText;
}

// A ".kmz" source's bytes replaced by the KML document they hold; false
// when they hold none.
bool UnpackSource(const std::string& name, std::string& text) {
  if (FileExtension(name) != ".kmz") return true;
  std::string kml;
  const bool ok = KmzToKml(text, kml);
  text = std::move(kml);
  return ok;
}

std::string ShapeTextOf(const std::string& name, std::string text) {
  if (!UnpackSource(name, text)) return "";
  const TShapeSourceKind kind = KindOfContent(name, text);
  return ConvertShapeText(kind, std::move(text));
}

}  // namespace

std::string ConvertShapeText(TShapeSourceKind kind, std::string text) {
  std::string error;
  return ConvertShapeText(kind, std::move(text), error);
}

namespace {

// The reader's reading of `text`, and where it stopped short.
template <typename TReader, typename TText>
std::string ReadShapes(TText&& text, std::string& error) {
  TReader reader;
  std::string out = reader.FromText(std::forward<TText>(text));
  error = ReaderStopText(reader.ErrorString(), reader.ErrorLine());
  return out;
}

}  // namespace

std::string ReaderStopText(const std::string& reason, size_t line) {
  if (reason.empty()) return "";
  return "at line " + std::to_string(line) + ": " + reason;
}

std::string NoShapesText(const std::string& source, const std::string& stop) {
  std::string text = "no shapes in " + source;
  if (!stop.empty()) text += " " + stop;
  return text;
}

std::string ConvertShapeText(TShapeSourceKind kind, std::string text, std::string& error) {
  error.clear();
  switch (kind) {
    case skGPX:
      return ReadShapes<TGpxImporter>(std::move(text), error);
    case skKML:
      return ReadShapes<TKmlImporter>(std::move(text), error);
    case skGeoJSON:
      return ReadShapes<TGeoJsonImporter>(std::string_view(text), error);
    case skText:
      return text;
    case skError:
      break;
  }
  return "";
}

bool IsWebAddress(const std::string& name) {
  const std::string lower = LowerAscii(name.substr(0, 8));
  return lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0;
}

TShapeSourceKind ShapeSourceKindOf(const std::string& name) {
  const std::string ext = FileExtension(name);
  if (ext == ".gpx") return skGPX;
  if (ext == ".kml" || ext == ".kmz") return skKML;
  if (ext == ".json" || ext == ".geojson") return skGeoJSON;
  return skText;
}

namespace {

// Writes a new file beside the target with `write`, then puts it in the
// target's place in one step (see SaveTextToFile).
template <typename Write>
bool ReplaceFile(const std::string& fileName, Write write) {
  if (fileName.empty()) return false;
  const std::filesystem::path target(fileName);
  std::string temp;
  const int fd = CreateTempBeside(target, temp);
  if (fd < 0) {
    LogWarning("formats", "cannot save " + fileName + ": " + std::strerror(errno));
    return false;
  }
  // The new file keeps the permissions of the one it replaces.
  struct stat old {};
  if (::stat(fileName.c_str(), &old) == 0 && S_ISREG(old.st_mode))
    (void)::fchmod(fd, old.st_mode & 07777);
  bool ok = write(fd) && ::fsync(fd) == 0;
  const int writeError = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(temp.c_str(), fileName.c_str()) != 0) ok = false;
  if (!ok) {
    LogWarning("formats",
               "cannot save " + fileName + ": " + std::strerror(errno ? errno : writeError));
    ::unlink(temp.c_str());
    return false;
  }
  // The new name itself on disk (best effort: some file systems refuse).
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

bool SaveTextToFile(const std::string& fileName, const std::string& text) {
  return ReplaceFile(fileName, [&text](int fd) { return WriteLines(fd, text); });
}

bool SaveFileInPieces(const std::string& fileName, bool text, const TPieceProducer& produce) {
  return ReplaceFile(fileName, [&](int fd) {
    if (text && !WriteAll(fd, kBom.data(), kBom.size())) return false;
    return produce([fd, text](std::string_view piece) {
      return text ? WriteLines(fd, piece, false) : WriteAll(fd, piece.data(), piece.size());
    });
  });
}

bool SaveBytesToFile(const std::string& fileName, const std::string& bytes) {
  return ReplaceFile(fileName,
                     [&bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

std::string LoadShapeUrl(const std::string& address) {
  std::string text;
  if (!Download(address, text)) return "";
  return ShapeTextOf(address, std::move(text));
}

std::string LoadShapeFile(const std::string& name) {
  if (!IsLocalFile(name)) return LoadShapeUrl(name);
  std::string text;
  if (!ReadWholeFile(name, text)) {
    LogWarning("formats", "cannot read " + name);
    return "";
  }
  return ShapeTextOf(name, std::move(text));
}

TShapeSourceKind ReadShapeSource(const std::string& source, std::string& text) {
  std::string error;
  return ReadShapeSource(source, text, {}, error);
}

TShapeSourceKind ReadShapeSource(const std::string& source, std::string& text,
                                 const std::function<bool()>& abort, std::string& error) {
  text.clear();
  error.clear();
  bool read = false;
  if (IsLocalFile(source)) {
    read = ReadWholeFile(source, text);
    if (!read) {
      LogWarning("formats", "cannot read " + source);
      error = "cannot read " + source;
    }
  } else {
    read = Download(source, text, abort, &error);
  }
  if (read && !UnpackSource(source, text)) {
    read = false;
    error = "cannot unpack " + source;
  }
  if (!read) {
    text.clear();
    return skError;
  }
  return KindOfContent(source, text);
}

namespace {

// "[map]", "[groupes]", "[markers]", "[trails.markers]" …
bool IsKnownHeader(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.size() < 3 || line.front() != '[' || line.back() != ']') return false;
  line = line.substr(1, line.size() - 2);
  if (line == "map" || line == "groupes") return true;
  const size_t dot = line.rfind('.');
  const std::string_view kind = dot == std::string_view::npos ? line : line.substr(dot + 1);
  return kind == "pois" || kind == "markers" || kind == "polylines" || kind == "polygones" ||
         kind == "infowindows";
}

}  // namespace

bool HasShapeRecords(const std::string& text) {
  size_t start = 0;
  bool inSection = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t i = start;
    while (i < end && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    if (i < end && text[i] == '[')
      inSection = IsKnownHeader(std::string_view(text).substr(i, end - i));
    else if (i < end && inSection)
      return true;
    start = end + 1;
  }
  return false;
}

}  // namespace wy
