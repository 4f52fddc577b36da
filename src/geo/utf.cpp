#include "geo/utf.h"

#include <cstdint>

namespace wy {

char32_t DecodeUtf8(std::string_view text, size_t& pos) {
  const size_t n = text.size();
  const uint8_t lead = static_cast<uint8_t>(text[pos++]);
  if (lead < 0x80) return lead;

  int need;  // continuation bytes still expected
  char32_t cp;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return kReplacementChar;  // stray continuation byte, C0, C1, F5..FF
  }

  while (need > 0) {
    if (pos >= n) return kReplacementChar;
    const uint8_t b = static_cast<uint8_t>(text[pos]);
    if (b < lo || b > hi) return kReplacementChar;  // resume at this byte
    cp = (cp << 6) | (b & 0x3F);
    ++pos;
    --need;
    lo = 0x80;
    hi = 0xBF;
  }
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string CodePointToUtf8(char32_t cp) {
  std::string out;
  AppendUtf8(out, cp);
  return out;
}

}  // namespace wy
