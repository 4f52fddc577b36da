#include "formats/kmz_archive.h"

#include <unzip.h>

#include <algorithm>
#include <cstring>

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

long ZipSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* zip = static_cast<TMemoryZip*>(stream);
  ZPOS64_T base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = zip->pos;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      base = zip->bytes->size();
      break;
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    default:
      return -1;
  }
  const ZPOS64_T target = base + offset;
  if (target > zip->bytes->size()) return -1;
  zip->pos = target;
  return 0;
}

int ZipClose(voidpf, voidpf) {
  return 0;
}

int ZipError(voidpf, voidpf) {
  return 0;
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
  zlib_filefunc64_def io{};
  io.zopen64_file = ZipOpen;
  io.zread_file = ZipRead;
  io.zwrite_file = ZipWrite;
  io.ztell64_file = ZipTell;
  io.zseek64_file = ZipSeek;
  io.zclose_file = ZipClose;
  io.zerror_file = ZipError;
  io.opaque = &memory;
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

}  // namespace wy
