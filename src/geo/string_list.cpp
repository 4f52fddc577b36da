#include "geo/string_list.h"

#include "geo/utf.h"

#include <cstdio>
#include <cstring>

#include "geo/stream.h"
#include "platform/ascii.h"

namespace wy {

namespace {

inline unsigned char FoldAZ(unsigned char c) {
  return static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
}

int CompareLengths(size_t a, size_t b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
    if (c1 < lo || c1 > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      const unsigned char ck = static_cast<unsigned char>(s[i + k]);
      if (ck < 0x80 || ck > 0xBF) return false;
    }
    i += len;
  }
  return true;
}

// Windows-1252 0x80..0x9F; the five unassigned codes keep their value.
const uint16_t kWin1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Win1252ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80)
      out += ch;
    else if (c < 0xA0)
      AppendUtf8(out, kWin1252High[c - 0x80]);
    else
      AppendUtf8(out, c);
  }
  return out;
}

// UTF-16 code units to UTF-8; unpaired surrogates and an odd last byte
// become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t k) -> uint32_t {
    const uint32_t b0 = static_cast<unsigned char>(bytes[2 * k]);
    const uint32_t b1 = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0;
  };
  for (size_t k = 0; k < units; ++k) {
    const uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const uint32_t v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
  }
  if (bytes.size() % 2 != 0) AppendUtf8(out, 0xFFFD);
  return out;
}

}  // namespace

int CompareTextAZ(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ca = FoldAZ(static_cast<unsigned char>(a[i]));
    const unsigned char cb = FoldAZ(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return CompareLengths(a.size(), b.size());
}

bool SameTextAZ(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareTextAZ(a, b) == 0;
}

int CompareStrBytes(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return CompareLengths(a.size(), b.size());
}

namespace string_list_detail {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t p = 0;
  const size_t n = text.size();
  while (p < n) {
    const size_t start = p;
    while (p < n && text[p] != '\r' && text[p] != '\n') ++p;
    lines.emplace_back(text.substr(start, p - start));
    if (p < n && text[p] == '\r') ++p;
    if (p < n && text[p] == '\n') ++p;
  }
  return lines;
}

void AppendDelimitedItem(std::string& out, std::string_view item, char delimiter, char quote,
                         bool strict) {
  // With a blank delimiter an empty item would vanish unless quoted.
  bool needsQuotes = item.empty() && !strict && static_cast<unsigned char>(delimiter) <= ' ';
  for (char ch : item) {
    if (ch == quote || ch == delimiter || (!strict && static_cast<unsigned char>(ch) <= ' ')) {
      needsQuotes = true;
      break;
    }
  }
  if (!needsQuotes) {
    out += item;
    return;
  }
  out += quote;
  for (char ch : item) {
    if (ch == quote) out += quote;
    out += ch;
  }
  out += quote;
}

std::vector<std::string> SplitDelimited(std::string_view text, char delimiter, char quote,
                                        bool strict) {
  std::vector<std::string> items;
  const size_t n = text.size();
  size_t p = 0;
  auto isBlank = [&](size_t k) { return static_cast<unsigned char>(text[k]) <= ' '; };
  auto skipBlanks = [&] {
    if (!strict)
      while (p < n && isBlank(p)) ++p;
  };
  skipBlanks();
  while (p < n) {
    std::string item;
    if (text[p] == quote) {
      // Quoted item: doubled quotes stand for one; no closing quote means the
      // item runs to the end of the text.
      ++p;
      while (p < n) {
        if (text[p] == quote) {
          if (p + 1 < n && text[p + 1] == quote) {
            item += quote;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      const size_t start = p;
      while (p < n && text[p] != delimiter && (strict || !isBlank(p))) ++p;
      item.assign(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (p < n && text[p] == delimiter) {
      if (p + 1 == n) items.emplace_back();  // a trailing delimiter ends with an empty item
      ++p;
      skipBlanks();
    }
  }
  return items;
}

std::string DecodeTextBytes(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == std::string_view(kUtf8Bom, 3))
    return std::string(bytes.substr(3));
  if (bytes.size() >= 2) {
    const unsigned char b0 = static_cast<unsigned char>(bytes[0]);
    const unsigned char b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFF && b1 == 0xFE) return Utf16ToUtf8(bytes.substr(2), false);
    if (b0 == 0xFE && b1 == 0xFF) return Utf16ToUtf8(bytes.substr(2), true);
  }
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Win1252ToUtf8(bytes);
}

bool ReadTextFile(const std::string& fileName, std::string& text) {
  try {
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (f == nullptr) return false;
    std::string bytes;
    char buffer[65536];
    size_t n;
    bool ok = true;
    try {
      while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
      ok = std::ferror(f) == 0;
    } catch (const std::exception&) {
      LogCaughtException(llWarning, "geo", "string list: reading " + fileName);
      ok = false;
    }
    std::fclose(f);
    if (!ok) return false;
    text = DecodeTextBytes(bytes);
    return true;
  } catch (const std::exception&) {
    LogCaughtException(llWarning, "geo", "string list: reading " + fileName);
    return false;
  }
}

bool ReadTextStream(TStream& stream, std::string& text) {
  try {
    std::string bytes;
    const int64_t rest = stream.Size() - stream.Position();
    if (rest > 0 && static_cast<uint64_t>(rest) < bytes.max_size()) bytes.reserve(rest);
    char buffer[65536];
    size_t n;
    while ((n = stream.Read(buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
    text = DecodeTextBytes(bytes);
    return true;
  } catch (const std::exception&) {
    LogCaughtException(llWarning, "geo", "string list: reading a stream");
    return false;
  }
}

bool WriteTextFile(const std::string& fileName, std::string_view text, bool bom) {
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = !bom || std::fwrite(kUtf8Bom, 1, 3, f) == 3;
  ok = ok && (text.empty() || std::fwrite(text.data(), 1, text.size(), f) == text.size());
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::remove(fileName.c_str());
  return ok;
}

bool WriteTextStream(TStream& stream, std::string_view text, bool bom) {
  if (bom && stream.Write(kUtf8Bom, 3) != 3) return false;
  return text.empty() || stream.Write(text.data(), text.size()) == text.size();
}

}  // namespace string_list_detail

}  // namespace wy
