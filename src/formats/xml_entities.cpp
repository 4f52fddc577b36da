#include "formats/xml_entities.h"

#include "geo/text_convert.h"
#include "geo/utf.h"

#include <cstdint>
#include <cstring>

namespace wy {

namespace {

// The longest reference we decode is "&#x10FFFF;" or "&#1114111;" (10 bytes);
// leading zeros are allowed, so numbers are read up to this many digits.
constexpr size_t kMaxDigits = 16;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool EqualsIgnoreCase(const char* p, size_t n, const char* lowerName) {
  if (std::strlen(lowerName) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (LowerAscii(p[i]) != lowerName[i]) return false;
  }
  return true;
}

// p points at "&". Appends what the reference stands for and returns the
// position after its ";", or returns nullptr (nothing appended) when the text
// there is no reference we decode.
const char* DecodeReference(std::string& out, const char* p, const char* end) {
  const char* q = p + 1;
  if (q < end && *q == '#') {
    ++q;
    bool hex = false;
    if (q < end && (*q == 'x' || *q == 'X')) {
      hex = true;
      ++q;
    }
    const char* digits = q;
    uint32_t cp = 0;
    while (q < end && q - digits < static_cast<ptrdiff_t>(kMaxDigits)) {
      int v = hex ? HexDigitValue(*q) : ((*q >= '0' && *q <= '9') ? *q - '0' : -1);
      if (v < 0) break;
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
      if (cp > 0x10FFFF) return nullptr;
      ++q;
    }
    if (q == digits || q >= end || *q != ';') return nullptr;
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return nullptr;
    AppendUtf8(out, cp);
    return q + 1;
  }
  const char* name = q;
  while (q < end && q - name < 5 && ((*q >= 'a' && *q <= 'z') || (*q >= 'A' && *q <= 'Z'))) {
    ++q;
  }
  if (q >= end || *q != ';') return nullptr;
  const size_t n = static_cast<size_t>(q - name);
  if (EqualsIgnoreCase(name, n, "amp")) {
    out.push_back('&');
  } else if (EqualsIgnoreCase(name, n, "lt")) {
    out.push_back('<');
  } else if (EqualsIgnoreCase(name, n, "gt")) {
    out.push_back('>');
  } else if (EqualsIgnoreCase(name, n, "quot")) {
    out.push_back('"');
  } else if (EqualsIgnoreCase(name, n, "apos")) {
    out.push_back('\'');
  } else if (EqualsIgnoreCase(name, n, "nbsp")) {
    out.append("\xC2\xA0");
  } else {
    return nullptr;
  }
  return q + 1;
}

}  // namespace

void AppendXmlDecoded(std::string& out, const char* text, size_t size, bool normalizeBlanks) {
  const char* p = text;
  const char* const end = text + size;
  while (p < end) {
    const char* run = p;
    if (normalizeBlanks) {
      while (p < end && *p != '&' && *p != '\t' && *p != '\r' && *p != '\n') ++p;
    } else {
      const void* amp = std::memchr(p, '&', static_cast<size_t>(end - p));
      p = amp ? static_cast<const char*>(amp) : end;
    }
    out.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    if (*p != '&') {
      // A blank written as tab or line break.
      if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
      out.push_back(' ');
      ++p;
      continue;
    }
    const char* next = DecodeReference(out, p, end);
    if (next) {
      p = next;
    } else {
      out.push_back('&');
      ++p;
    }
  }
}

std::string XmlDecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendXmlDecoded(out, text.data(), text.size());
  return out;
}

}  // namespace wy
