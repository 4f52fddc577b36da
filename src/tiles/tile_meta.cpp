#include "tiles/tile_meta.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <zlib.h>

#include "geo/http_date.h"
#include "platform/ascii.h"
#include "tiles/tile_file.h"

namespace wy {

namespace {

constexpr const char* kMetaHeading = "wymap tile 1";
// Longer validators are not kept (nothing sensible is that long).
constexpr size_t kMaxValidatorLength = 1024;
// A record is never larger (two validators at their longest and the rest).
constexpr size_t kMaxRecordBytes = 4096;
// A lifetime is never counted beyond this (and sums cannot overflow).
constexpr int64_t kMaxLifetimeSeconds = int64_t{10} * 366 * 24 * 3600;

// CRC-32 of IEEE 802.3, zlib's (several times faster than a table per byte;
// a tile read from disk is checked on every read).
uint32_t Crc32(const std::string& bytes) {
  uLong crc = ::crc32(0L, Z_NULL, 0);
  const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
    crc = ::crc32(crc, data, piece);
    data += piece;
    left -= piece;
  }
  return static_cast<uint32_t>(crc);
}

bool SameNoCase(const std::string& a, const char* b) {
  return AsciiEqualNoCase(a, b);
}

std::string Trim(const std::string& text) {
  size_t start = 0, end = text.size();
  while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(start, end - start);
}

// Printable ASCII and blanks only: safe to send back in a header and to
// keep on one line of the record.
bool PlainText(const std::string& text) {
  if (text.empty() || text.size() > kMaxValidatorLength) return false;
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// A whole non-negative decimal number, capped at kMaxLifetimeSeconds.
bool ReadSeconds(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  int64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = std::min(result * 10 + (c - '0'), kMaxLifetimeSeconds);
  }
  value = result;
  return true;
}

// The freshness the headers state.
struct TFreshness {
  bool HasLifetime = false;
  int64_t Lifetime = 0;
  bool NoCache = false;
  bool NoStore = false;
};

TFreshness FreshnessOf(const THttpCacheHeaders& headers, int64_t now) {
  TFreshness result;
  bool maxAgeSeen = false;
  std::string rest = headers.CacheControl;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string directive = Trim(rest.substr(0, comma));
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    const size_t eq = directive.find('=');
    const std::string name = Trim(directive.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : Trim(directive.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (SameNoCase(name, "max-age")) {
      int64_t seconds = 0;
      // An unreadable or repeated max-age makes the answer stale at once.
      const bool readable = !maxAgeSeen && ReadSeconds(value, seconds);
      result.HasLifetime = true;
      result.Lifetime = readable ? seconds : 0;
      maxAgeSeen = true;
    } else if (SameNoCase(name, "no-cache")) {
      result.NoCache = true;
    } else if (SameNoCase(name, "no-store")) {
      result.NoStore = true;
    }
  }
  if (headers.CacheControl.empty()) {
    std::string pragma = headers.Pragma;
    pragma = AsciiLower(pragma);
    result.NoCache = pragma.find("no-cache") != std::string::npos;
  }
  if (!result.HasLifetime && !headers.Expires.empty()) {
    // Counted from the server's Date, so that a wrong local clock does not
    // matter; an Expires that is no date ("0", "-1") means already expired.
    result.HasLifetime = true;
    int64_t expires = 0, date = now;
    if (ParseHttpDate(headers.Expires, expires)) {
      ParseHttpDate(headers.Date, date);
      result.Lifetime = std::clamp<int64_t>(expires - date, 0, kMaxLifetimeSeconds);
    }
  }
  return result;
}

// Expiry from a lifetime and the answer's Age.
int64_t ExpiresAt(int64_t lifetime, const THttpCacheHeaders& headers, int64_t now) {
  int64_t age = 0;
  if (!ReadSeconds(headers.Age, age)) age = 0;
  return now + std::max(lifetime - age, kMinTileLifetimeSeconds);
}

}  // namespace

bool THttpCacheHeaders::Take(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  const std::string name = Trim(line.substr(0, colon));
  std::string value = line.substr(colon + 1);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
  value = Trim(value);
  static const std::pair<const char*, std::string THttpCacheHeaders::*> kFields[] = {
      {"etag", &THttpCacheHeaders::ETag},
      {"last-modified", &THttpCacheHeaders::LastModified},
      {"cache-control", &THttpCacheHeaders::CacheControl},
      {"pragma", &THttpCacheHeaders::Pragma},
      {"expires", &THttpCacheHeaders::Expires},
      {"date", &THttpCacheHeaders::Date},
      {"age", &THttpCacheHeaders::Age},
      {"retry-after", &THttpCacheHeaders::RetryAfter},
  };
  std::string* field = nullptr;
  for (const auto& known : kFields)
    if (SameNoCase(name, known.first)) field = &(this->*known.second);
  if (field == nullptr) return false;
  if (!field->empty()) *field += ", ";
  *field += value;
  return true;
}

TTileMeta RefreshedTileMeta(const TTileMeta& stored, const THttpCacheHeaders& headers,
                            int64_t now) {
  const TFreshness freshness = FreshnessOf(headers, now);
  TTileMeta meta = stored;
  if (freshness.HasLifetime) meta.Lifetime = freshness.Lifetime;
  if (freshness.NoCache) meta.Lifetime = 0;
  meta.NoStore = freshness.NoStore;
  meta.Expires = ExpiresAt(meta.Lifetime, headers, now);
  if (PlainText(headers.ETag)) meta.ETag = headers.ETag;
  if (PlainText(headers.LastModified)) meta.LastModified = headers.LastModified;
  return meta;
}

TTileMeta TileMetaFromAnswer(const THttpCacheHeaders& headers, int64_t now) {
  // What a 304 would make of a record that says nothing.
  TTileMeta nothingSaid;
  nothingSaid.Lifetime = kDefaultTileLifetimeSeconds;
  return RefreshedTileMeta(nothingSaid, headers, now);
}

bool RetryAfterMs(const std::string& value, int64_t now, uint64_t& ms) {
  const std::string text = Trim(value);
  int64_t seconds = 0;
  if (ReadSeconds(text, seconds)) {
    ms = static_cast<uint64_t>(seconds) * 1000;
    return true;
  }
  int64_t date = 0;
  if (!ParseHttpDate(text, date)) return false;
  ms = date > now ? static_cast<uint64_t>(std::min(date - now, kMaxLifetimeSeconds)) * 1000 : 0;
  return true;
}

std::string FormatTileMeta(const TTileMeta& meta, const std::string& bytes) {
  char numbers[160];
  std::snprintf(numbers, sizeof numbers,
                "bytes %zu\ncrc32 %08" PRIx32 "\nexpires %" PRId64 "\nlifetime %" PRId64 "\n",
                bytes.size(), Crc32(bytes), meta.Expires, meta.Lifetime);
  std::string text = std::string(kMetaHeading) + "\n" + numbers;
  if (PlainText(meta.ETag)) text += "etag " + meta.ETag + "\n";
  if (PlainText(meta.LastModified)) text += "last-modified " + meta.LastModified + "\n";
  return text;
}

bool ParseTileMeta(const std::string& text, const std::string& bytes, TTileMeta& meta) {
  TTileMeta result;
  bool heading = false, sizeMatches = false, crcMatches = false, hasExpires = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;  // cut short: the last line has its end
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!heading) {
      if (line != kMetaHeading) return false;
      heading = true;
      continue;
    }
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (name == "bytes") {
      sizeMatches = value == std::to_string(bytes.size());
    } else if (name == "crc32" && sizeMatches) {
      char expected[16];
      std::snprintf(expected, sizeof expected, "%08" PRIx32, Crc32(bytes));
      crcMatches = value == expected;
    } else if (name == "expires" || name == "lifetime") {
      char* stop = nullptr;
      const long long number = std::strtoll(value.c_str(), &stop, 10);
      if (value.empty() || stop == nullptr || *stop != '\0') return false;
      if (name == "expires") {
        result.Expires = number;
        hasExpires = true;
      } else {
        result.Lifetime = std::clamp<int64_t>(number, 0, kMaxLifetimeSeconds);
      }
    } else if (name == "etag" && PlainText(value)) {
      result.ETag = value;
    } else if (name == "last-modified" && PlainText(value)) {
      result.LastModified = value;
    }
  }
  if (!heading || !sizeMatches || !crcMatches || !hasExpires) return false;
  meta = std::move(result);
  return true;
}

bool ReadTileMeta(const std::string& tilePath, const std::string& bytes, TTileMeta& meta) {
  std::string text;
  if (tilePath.empty() || !ReadSmallTileFile(TileMetaPath(tilePath), kMaxRecordBytes, text))
    return false;
  return ParseTileMeta(text, bytes, meta);
}

bool WriteTileMeta(const std::string& tilePath, const TTileMeta& meta, const std::string& bytes) {
  if (tilePath.empty()) return false;
  return ReplaceTileFile(TileMetaPath(tilePath), FormatTileMeta(meta, bytes));
}

}  // namespace wy
