#include "formats/kmz_archive.h"

#include <unzip.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/log.h"

namespace wy {

namespace {

// Read-only access for minizip to an archive in memory.
struct TMemoryZip {
  const std::string* bytes;
  ZPOS64_T pos = 0;
};

voidpf ZipOpen(voidpf opaque, const void*, int) {
  return opaque;
}

uLong ZipRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* zip = static_cast<TMemoryZip*>(stream);
  const ZPOS64_T left = zip->bytes->size() - std::min<ZPOS64_T>(zip->pos, zip->bytes->size());
  const uLong n = static_cast<uLong>(std::min<ZPOS64_T>(size, left));
  if (n > 0) std::memcpy(buf, zip->bytes->data() + zip->pos, n);
  zip->pos += n;
  return n;
}

uLong ZipWrite(voidpf, voidpf, const void*, uLong) {
  return 0;
}

ZPOS64_T ZipTell(voidpf, voidpf stream) {
  return static_cast<TMemoryZip*>(stream)->pos;
}

// Seeking in an archive in memory (read or written).
template <typename TZip>
long SeekIn(TZip* zip, ZPOS64_T offset, int origin) {
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR)
    base = zip->pos;
  else if (origin == ZLIB_FILEFUNC_SEEK_END)
    base = zip->bytes->size();
  else if (origin != ZLIB_FILEFUNC_SEEK_SET)
    return -1;
  const ZPOS64_T target = base + offset;
  if (target > zip->bytes->size()) return -1;
  zip->pos = target;
  return 0;
}

long ZipSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  return SeekIn(static_cast<TMemoryZip*>(stream), offset, origin);
}

int ZipClose(voidpf, voidpf) {
  return 0;
}

int ZipError(voidpf, voidpf) {
  return 0;
}

// Write access for minizip to an archive built in memory; the zip writer
// seeks back to finish each entry's header, so writes overwrite at `pos`.
struct TMemoryZipOut {
  std::string* bytes;
  ZPOS64_T pos = 0;
};

uLong ZipOutWrite(voidpf, voidpf stream, const void* buf, uLong size) {
  auto* zip = static_cast<TMemoryZipOut*>(stream);
  std::string& bytes = *zip->bytes;
  const auto* data = static_cast<const char*>(buf);
  const size_t pos = static_cast<size_t>(zip->pos);
  const size_t overlap = std::min<size_t>(size, bytes.size() - std::min(pos, bytes.size()));
  if (overlap > 0) bytes.replace(pos, overlap, data, overlap);
  if (size > overlap) bytes.append(data + overlap, size - overlap);
  zip->pos += size;
  return size;
}

uLong ZipOutRead(voidpf, voidpf, void*, uLong) {
  return 0;
}

ZPOS64_T ZipOutTell(voidpf, voidpf stream) {
  return static_cast<TMemoryZipOut*>(stream)->pos;
}

long ZipOutSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  return SeekIn(static_cast<TMemoryZipOut*>(stream), offset, origin);
}

// minizip's access to an archive in memory through these functions.
zlib_filefunc64_def MemoryIo(voidpf opaque, read_file_func read, write_file_func write,
                             tell64_file_func tell, seek64_file_func seek) {
  zlib_filefunc64_def io{};
  io.zopen64_file = ZipOpen;
  io.zread_file = read;
  io.zwrite_file = write;
  io.ztell64_file = tell;
  io.zseek64_file = seek;
  io.zclose_file = ZipClose;
  io.zerror_file = ZipError;
  io.opaque = opaque;
  return io;
}

bool EndsWithKml(const char* name) {
  const size_t n = std::strlen(name);
  if (n < 4) return false;
  std::string ext(name + n - 4);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".kml";
}

}  // namespace

bool KmzToKml(const std::string& bytes, std::string& kml) {
  kml.clear();
  TMemoryZip memory{&bytes};
  zlib_filefunc64_def io = MemoryIo(&memory, ZipRead, ZipWrite, ZipTell, ZipSeek);
  unzFile zip = unzOpen2_64("kmz", &io);
  if (!zip) {
    LogWarning("formats", "not a zip archive");
    return false;
  }
  // "doc.kml" is the main document by convention; otherwise the first KML.
  bool found = unzLocateFile(zip, "doc.kml", 2) == UNZ_OK;
  if (!found) {
    char name[512];
    for (int r = unzGoToFirstFile(zip); r == UNZ_OK && !found; r = unzGoToNextFile(zip)) {
      unz_file_info64 info{};
      if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
              UNZ_OK &&
          EndsWithKml(name))
        found = true;
    }
  }
  bool ok = found && unzOpenCurrentFile(zip) == UNZ_OK;
  if (ok) {
    char buffer[64 * 1024];
    int n = 0;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) {
      if (kml.size() + static_cast<size_t>(n) > kMaxKmzDocument) {
        n = -1;
        break;
      }
      kml.append(buffer, static_cast<size_t>(n));
    }
    ok = n == 0;
    ok = unzCloseCurrentFile(zip) == UNZ_OK && ok;  // also checks the CRC
  }
  unzClose(zip);
  if (!ok) {
    LogWarning("formats", "no readable KML document in the archive");
    kml.clear();
  }
  return ok;
}

bool KmlToKmz(const std::string& kml, std::string& bytes) {
  bytes.clear();
  TMemoryZipOut out{&bytes};
  zlib_filefunc64_def io = MemoryIo(&out, ZipOutRead, ZipOutWrite, ZipOutTell, ZipOutSeek);
  zipFile zip = zipOpen2_64("doc.kmz", APPEND_STATUS_CREATE, nullptr, &io);
  if (zip == nullptr) return false;
  // The entry is dated now (an all-zero date is no valid day).
  zip_fileinfo info{};
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc)) {
    info.tmz_date.tm_sec = static_cast<uInt>(utc.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(utc.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(utc.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(utc.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(utc.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(utc.tm_year + 1900);
  }
  bool ok =
      zipOpenNewFileInZip64(zip, "doc.kml", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION, kml.size() >= 0xFFFFFFFFu) == ZIP_OK;
  // The writer takes at most 4 GB minus one per call.
  for (size_t done = 0; ok && done < kml.size();) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(kml.size() - done, 1u << 30));
    ok = zipWriteInFileInZip(zip, kml.data() + done, chunk) == ZIP_OK;
    done += chunk;
  }
  ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
  ok = zipClose(zip, nullptr) == ZIP_OK && ok;
  if (!ok) {
    LogWarning("formats", "cannot pack the KML document into an archive");
    bytes.clear();
  }
  return ok;
}

}  // namespace wy
