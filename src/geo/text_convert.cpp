#include "geo/text_convert.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "geo/crc32.h"
#include "geo/utf.h"
#include "platform/ascii.h"

namespace wy {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned v) {
  out.push_back(kHexDigits[(v >> 4) & 0xF]);
  out.push_back(kHexDigits[v & 0xF]);
}

// Case-insensitive (A to Z only) search of `pat` in `text` from byte `from`.
size_t FindNoCase(std::string_view text, std::string_view pat, size_t from) {
  if (pat.empty() || pat.size() > text.size() || from > text.size() - pat.size()) {
    return std::string::npos;
  }
  const char* const base = text.data();
  const char* p = base + from;
  const char* const last = base + (text.size() - pat.size());
  const char lower = AsciiLower(pat[0]);
  const char upper = (lower >= 'a' && lower <= 'z') ? static_cast<char>(lower - 32) : lower;
  while (p <= last) {
    // Jump to the next candidate for the first character.
    const size_t span = static_cast<size_t>(last - p) + 1;
    const char* a = static_cast<const char*>(std::memchr(p, lower, span));
    if (upper != lower) {
      const char* b = static_cast<const char*>(std::memchr(p, upper, a ? a - p : span));
      if (b) a = b;
    }
    if (!a) break;
    size_t k = 1;
    while (k < pat.size() && AsciiLower(a[k]) == AsciiLower(pat[k])) ++k;
    if (k == pat.size()) return static_cast<size_t>(a - base);
    p = a + 1;
  }
  return std::string::npos;
}

// End of the run of ASCII bytes that starts at p.
const char* AsciiRunEnd(const char* p, const char* end) {
  while (p < end && static_cast<signed char>(*p) >= 0) ++p;
  return p;
}

// ---------------------------------------------------------------------------
// Numbers

std::string NonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  return value > 0 ? "INF" : "-INF";
}

// The value rounded to `precision` significant digits: its sign, its digits
// (exactly `precision` of them) and the decimal exponent of the first one.
struct TDecimal {
  bool negative = false;
  char digits[32];
  int count = 0;
  int exponent = 0;
};

// Splits to_chars' scientific text "-d.ddde+xx" into a TDecimal.
TDecimal ParseScientific(const char* p, const char* end) {
  TDecimal d;
  if (p < end && *p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && d.count < static_cast<int>(sizeof d.digits)) {
      d.digits[d.count++] = *p;
    }
  }
  if (p < end) ++p;  // 'e'
  if (p < end && *p == '+') ++p;
  int exponent = 0;
  std::from_chars(p, end, exponent);
  d.exponent = exponent;
  return d;
}

// `value` is finite and precision is 1..24.
TDecimal ToDecimal(double value, int precision) {
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
  return ParseScientific(buf, res.ptr);
}

// The value rounded to at most 15 significant digits, trailing zeros
// included or not. For a normal double the shortest text that reads back as
// the value is that rounding whenever it has no more than 15 digits (it lies
// within half a unit of the last place of the double, well inside half a unit
// of the 15th digit), and it is much cheaper to make; otherwise, and for
// subnormals, round explicitly.
TDecimal ToDecimal15(double value) {
  if (std::abs(value) < std::numeric_limits<double>::min()) return ToDecimal(value, 15);
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  TDecimal d = ParseScientific(buf, res.ptr);
  return d.count <= 15 ? d : ToDecimal(value, 15);
}

// Reads a whole trimmed text as a number with "." as separator.
bool ParseDot(std::string_view s, double& out) {
  s = TrimView(s);
  if (s.empty()) return false;
  if (s.front() == '+') {
    s.remove_prefix(1);
    if (s.empty() || s.front() == '-' || s.front() == '+') return false;
  }
  double v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
  if (!std::isfinite(v)) return false;  // "inf", "nan"
  out = v;
  return true;
}

// ---------------------------------------------------------------------------
// Colours

// Standard desktop defaults of the system colours, by index.
constexpr TColor kSystemColors[] = {
    0xC8C8C8,  // scroll bar
    0x000000,  // background
    0xD1B499,  // active caption
    0xDBCDBF,  // inactive caption
    0xF0F0F0,  // menu
    0xFFFFFF,  // window
    0x646464,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0x000000,  // caption text
    0xB4B4B4,  // active border
    0xFCF7F4,  // inactive border
    0xABABAB,  // application work space
    0xD77800,  // highlight
    0xFFFFFF,  // highlight text
    0xF0F0F0,  // button face
    0xA0A0A0,  // button shadow
    0x6D6D6D,  // grey text
    0x000000,  // button text
    0x000000,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x696969,  // 3-D dark shadow
    0xE3E3E3,  // 3-D light
    0x000000,  // tooltip text
    0xE1FFFF,  // tooltip background
};

// ---------------------------------------------------------------------------
// Character tables

// UpperNoAccents for the code points below U+0100.
constexpr std::array<char32_t, 256> MakeUpperTable() {
  std::array<char32_t, 256> t{};
  for (char32_t i = 0; i < 256; ++i) t[i] = i;
  for (char32_t c = 'a'; c <= 'z'; ++c) t[c] = c - 32;
  // U+0080..U+009F read as Windows-1252 codes.
  const char32_t c1[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
      0x02C6, 0x2030, 'S',    0x2039, 0x0152, 0x008D, 'Z',    0x008F,  // 88..8F
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
      0x02DC, 0x2122, 'S',    0x203A, 0x0152, 0x009D, 'Z',    'Y',     // 98..9F
  };
  for (int i = 0; i < 32; ++i) t[0x80 + i] = c1[i];
  t[0xAD] = '*';  // soft hyphen
  for (char32_t base : {0xC0u, 0xE0u}) {
    for (char32_t i = 0; i <= 5; ++i) t[base + i] = 'A';  // À..Å, à..å
    t[base + 0x07] = 'C';                                 // Ç ç
    for (char32_t i = 0x08; i <= 0x0B; ++i) t[base + i] = 'E';
    for (char32_t i = 0x0C; i <= 0x0F; ++i) t[base + i] = 'I';
    t[base + 0x10] = 'D';  // Ð ð
    t[base + 0x11] = 'N';  // Ñ ñ
    for (char32_t i = 0x12; i <= 0x16; ++i) t[base + i] = 'O';
    t[base + 0x18] = 'O';  // Ø ø
    for (char32_t i = 0x19; i <= 0x1C; ++i) t[base + i] = 'U';
    t[base + 0x1D] = 'Y';  // Ý ý
  }
  t[0xE6] = 0xC6;  // æ
  t[0xFE] = 0xDE;  // þ
  t[0xFF] = 'Y';   // ÿ
  return t;
}

constexpr std::array<char32_t, 256> kUpperTable = MakeUpperTable();

// Windows-1252 byte of a code point, or -1 when the code page lacks it.
int Win1252Code(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  // The five codes Windows-1252 leaves undefined map to themselves.
  if (cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D) {
    return static_cast<int>(cp);
  }
  struct TPair {
    char16_t cp;
    uint8_t code;
  };
  static constexpr TPair kSpecial[] = {
      {0x0152, 0x8C}, {0x0153, 0x9C}, {0x0160, 0x8A}, {0x0161, 0x9A}, {0x0178, 0x9F},
      {0x017D, 0x8E}, {0x017E, 0x9E}, {0x0192, 0x83}, {0x02C6, 0x88}, {0x02DC, 0x98},
      {0x2013, 0x96}, {0x2014, 0x97}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201A, 0x82},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x201E, 0x84}, {0x2020, 0x86}, {0x2021, 0x87},
      {0x2022, 0x95}, {0x2026, 0x85}, {0x2030, 0x89}, {0x2039, 0x8B}, {0x203A, 0x9B},
      {0x20AC, 0x80}, {0x2122, 0x99},
  };
  for (const TPair& p : kSpecial) {
    if (p.cp == cp) return p.code;
  }
  return -1;
}

bool IsContinuation(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// Booleans

std::string BoolToText(bool value) {
  return value ? "true" : "false";
}

bool TextToBoolDef(const std::string& text, bool def) {
  if (text == "true") return true;
  if (text == "false") return false;
  return def;
}

bool TextIsTrue(const std::string& text) {
  return text == "true";
}

// ---------------------------------------------------------------------------
// Numbers

namespace {

// `count` significant digits with the decimal exponent `e`, in plain
// notation: "123.45", "0.0012", "1500".
void AppendPlainDigits(std::string& out, const char* digits, int count, int e) {
  if (e >= 0) {
    const int intDigits = e + 1;
    for (int i = 0; i < intDigits; ++i) out.push_back(i < count ? digits[i] : '0');
    if (count > intDigits) {
      out.push_back('.');
      out.append(digits + intDigits, count - intDigits);
    }
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-e - 1), '0');
    out.append(digits, count);
  }
}

}  // namespace

namespace {

// Values from 1E-4 to below 1E14 (coordinates, altitudes, sizes): there, 15
// significant digits in general format are plain decimals without trailing
// zeros, the text FloatToStrDot wants, in one conversion. False elsewhere.
bool AppendGeneral15(std::string& out, double value) {
  const double magnitude = std::abs(value);
  if (!(magnitude >= 1e-4 && magnitude < 1e14)) return false;
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  out.append(buf, res.ptr);
  return true;
}

}  // namespace

std::string FloatToStrDot(double value) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  if (value == 0) return "0";
  {
    std::string out;
    if (AppendGeneral15(out, value)) return out;
  }
  const TDecimal d = ToDecimal15(value);
  int count = d.count;
  while (count > 1 && d.digits[count - 1] == '0') --count;
  const int e = d.exponent;

  std::string out;
  out.reserve(32);
  if (d.negative) out.push_back('-');
  if (e < -5 || e >= 15) {
    out.push_back(d.digits[0]);
    if (count > 1) {
      out.push_back('.');
      out.append(d.digits + 1, count - 1);
    }
    out.push_back('E');
    if (e < 0) out.push_back('-');
    char buf[8];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::abs(e));
    out.append(buf, res.ptr);
  } else {
    AppendPlainDigits(out, d.digits, count, e);
  }
  return out;
}

void AppendPlainDecimal(std::string& out, double value) {
  if (!std::isfinite(value) || value == 0) {
    out.push_back('0');
    return;
  }
  if (AppendGeneral15(out, value)) return;
  const TDecimal d = ToDecimal15(value);
  int count = d.count;
  while (count > 1 && d.digits[count - 1] == '0') --count;
  const int e = d.exponent;
  if (d.negative) out.push_back('-');
  AppendPlainDigits(out, d.digits, count, e);
}

void AppendPlainDecimal(std::string& out, double value, std::string_view written) {
  // Within the range written in plain digits, 15 significant digits come
  // back from the number exactly as written, without the zeros.
  const double magnitude = std::abs(value);
  size_t i = !written.empty() && written[0] == '-' ? 1 : 0;
  const size_t sign = i;
  while (i < written.size() && written[i] == '0') ++i;
  const size_t lead = i;  // the first digit that is not a leading zero
  while (i < written.size() && written[i] >= '0' && written[i] <= '9') ++i;
  const size_t point = i;
  size_t last = point;  // after the last digit that is not a trailing zero
  if (i < written.size() && written[i] == '.') {
    ++i;
    for (; i < written.size() && written[i] >= '0' && written[i] <= '9'; ++i)
      if (written[i] != '0') last = i + 1;
  }
  const size_t significant = point - lead + (last > point ? last - point - 1 : 0);
  if (i != written.size() || point == sign || (i > point && i == point + 1) || significant > 15 ||
      !(magnitude >= 1e-4 && magnitude < 1e14)) {
    AppendPlainDecimal(out, value);
    return;
  }
  if (sign) out.push_back('-');
  if (lead == point) out.push_back('0');
  out.append(written.substr(lead, point - lead));
  if (last > point) out.append(written.substr(point, last - point));
}

std::string FloatToStrFixedDot(int digits, double value) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  digits = std::clamp(digits, 0, 18);
  const int precision = digits + 4;

  std::string out;
  const TDecimal d = ToDecimal(value, precision);
  if (precision - 1 - d.exponent >= digits) {
    // `digits` decimals keep no more than `precision` significant digits:
    // one rounding to `digits` decimals.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
    out.assign(buf, res.ptr);
  } else {
    // The value reaches further left: round to `precision` significant
    // digits, then pad with zeros. Here the exponent is at least 4.
    if (d.negative) out.push_back('-');
    const int intDigits = d.exponent + 1;
    for (int i = 0; i < intDigits; ++i) out.push_back(i < d.count ? d.digits[i] : '0');
    if (digits > 0) {
      out.push_back('.');
      for (int i = 0; i < digits; ++i) {
        const int k = intDigits + i;
        out.push_back(k < d.count ? d.digits[k] : '0');
      }
    }
  }
  // No "-0.000".
  if (!out.empty() && out[0] == '-' && out.find_first_not_of("0.", 1) == std::string::npos) {
    out.erase(0, 1);
  }
  return out;
}

std::string TwoFloatsToText(double a, double b) {
  return FloatToStrDot(a) + "," + FloatToStrDot(b);
}

std::string ThreeFloatsToText(double a, double b, double c) {
  return TwoFloatsToText(a, b) + "," + (c == kNoAltitude ? std::string("0") : FloatToStrDot(c));
}

bool TryStrToFloatDot(const std::string& text, double& value) {
  if (text.empty()) return false;
  if (ParseDot(text, value)) return true;
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  std::string dotted = text;
  dotted[comma] = '.';
  return ParseDot(dotted, value);
}

double StrToFloatDot(const std::string& text) {
  double v = 0;
  return TryStrToFloatDot(text, v) ? v : -1;
}

double StrToFloatDotDef(const std::string& text, double def) {
  return text.empty() ? def : StrToFloatDot(text);
}

int TextToIntDef(const std::string& text, int def) {
  std::string_view s = TrimView(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  }
  if (s.empty()) return def;
  // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  long long v = 0;
  for (char c : s) {
    const int digit = base == 16 ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return def;
    v = v * base + digit;
    if (v > limit) return def;
  }
  return static_cast<int>(negative ? -v : v);
}

// ---------------------------------------------------------------------------
// Tokens

std::string NextToken(std::string& text, const std::string& separator) {
  const size_t at = separator.empty() ? std::string::npos : text.find(separator);
  std::string token;
  if (at == std::string::npos) {
    token.swap(text);
    text.clear();
  } else {
    token = text.substr(0, at);
    text.erase(0, at + separator.size());
  }
  return token;
}

std::string Trim(const std::string& text) {
  return std::string(TrimView(text));
}

// ---------------------------------------------------------------------------
// Colours

TColor ColorToRGB(TColor color) {
  if (color & 0x80000000u) {
    const size_t index = color & 0xFF;
    return index < sizeof kSystemColors / sizeof kSystemColors[0] ? kSystemColors[index] : 0;
  }
  return color & 0x00FFFFFFu;
}

std::string ColorToKml(TColor color, double opacity) {
  if (std::isnan(opacity)) opacity = 0;
  opacity = std::clamp(opacity, 0.0, 1.0);
  // Halves to even: 0.5 * 255 = 127.5 gives 128, 0.3 * 255 = 76.5 gives 76.
  const unsigned alpha = static_cast<unsigned>(std::nearbyint(opacity * 255));
  const TColor rgb = ColorToRGB(color);
  std::string out;
  out.reserve(8);
  AppendHexByte(out, alpha);
  AppendHexByte(out, (rgb >> 16) & 0xFF);
  AppendHexByte(out, (rgb >> 8) & 0xFF);
  AppendHexByte(out, rgb & 0xFF);
  return out;
}

bool KmlToColor(const std::string& text, TColor& color, double& opacity) {
  if (text.size() < 8) return false;
  int bytes[4];
  for (int i = 0; i < 4; ++i) {
    const int hi = HexDigitValue(text[2 * i]);
    const int lo = HexDigitValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = hi * 16 + lo;
  }
  opacity = bytes[0] / 255.0;
  color = static_cast<TColor>(bytes[3]) | static_cast<TColor>(bytes[2]) << 8 |
          static_cast<TColor>(bytes[1]) << 16;
  return true;
}

TColor DarkerColor(TColor color, int amount) {
  const TColor rgb = ColorToRGB(color);
  TColor out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const long long c = static_cast<long long>((rgb >> shift) & 0xFF) - amount;
    out |= static_cast<TColor>(std::clamp(c, 0LL, 255LL)) << shift;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Fingerprint

std::string CrcText(const std::string& text) {
  uint32_t crc = 0xFFFFFFFFu;
  size_t pos = 0;
  const size_t n = text.size();
  const char* const base = text.data();
  while (pos < n) {
    // ASCII is its own low byte.
    const size_t run = static_cast<size_t>(AsciiRunEnd(base + pos, base + n) - (base + pos));
    crc = Crc32Update(crc, base + pos, run);
    pos += run;
    if (pos >= n) break;
    char16_t units[2];
    const int count = Utf16Units(DecodeUtf8(text, pos), units);
    for (int i = 0; i < count; ++i) crc = Crc32UpdateByte(crc, static_cast<uint8_t>(units[i]));
  }
  crc ^= 0xFFFFFFFFu;
  std::string out;
  out.reserve(8);
  for (int shift = 24; shift >= 0; shift -= 8) AppendHexByte(out, (crc >> shift) & 0xFF);
  return out;
}

// ---------------------------------------------------------------------------
// "#code#" escapes

std::string EscapeChars(const std::string& chars, const std::string& text) {
  // The escape of each byte of `chars` ("#13#"); empty for the others.
  char codes[256][6] = {};
  uint8_t lengths[256] = {};
  for (char c : chars) {
    const uint8_t b = static_cast<uint8_t>(c);
    char* q = codes[b];
    *q++ = '#';
    q = std::to_chars(q, q + 3, b).ptr;
    *q++ = '#';
    lengths[b] = static_cast<uint8_t>(q - codes[b]);
  }
  const uint8_t* const in = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  size_t size = n;
  for (size_t i = 0; i < n; ++i) size += lengths[in[i]] ? lengths[in[i]] - 1 : 0;
  if (size == n) return text;

  std::string out(size, '\0');
  char* w = &out[0];
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = in[i];
    const uint8_t len = lengths[b];
    if (len == 0) {
      *w++ = static_cast<char>(b);
    } else {
      for (uint8_t k = 0; k < len; ++k) *w++ = codes[b][k];
    }
  }
  return out;
}

std::string UnescapeChars(const std::string& chars, const std::string& text) {
  bool escaped[256] = {};
  for (char c : chars) escaped[static_cast<uint8_t>(c)] = true;
  const char* const in = text.data();
  const size_t n = text.size();
  std::string out(n, '\0');  // never longer than the input
  char* const start = &out[0];
  char* w = start;
  size_t i = 0;
  while (i < n) {
    if (in[i] == '#') {
      // "#" + 1 to 3 digits without a leading zero (except "0" itself) + "#".
      size_t k = i + 1;
      int code = 0;
      while (k < n && k - i <= 3 && in[k] >= '0' && in[k] <= '9') {
        code = code * 10 + (in[k] - '0');
        ++k;
      }
      const size_t len = k - i - 1;
      const bool canonical = len >= 1 && (len == 1 || in[i + 1] != '0');
      if (canonical && k < n && in[k] == '#' && code < 256 && escaped[code]) {
        *w++ = static_cast<char>(code);
        i = k + 1;
        continue;
      }
    }
    *w++ = in[i++];
  }
  out.resize(static_cast<size_t>(w - start));
  return out;
}

// ---------------------------------------------------------------------------
// Searching and replacing

std::string ReplaceFirst(const std::string& text, const std::string& from, const std::string& to) {
  const size_t at = FindNoCase(text, from, 0);
  if (at == std::string::npos) return text;
  std::string out = text;
  out.replace(at, from.size(), to);
  return out;
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  size_t at = FindNoCase(text, from, 0);
  if (at == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  while (at != std::string::npos) {
    out.append(text, done, at - done);
    out += to;
    done = at + from.size();
    at = FindNoCase(text, from, done);
  }
  out.append(text, done, std::string::npos);
  return out;
}

size_t PosFrom(const std::string& sub, const std::string& text, size_t offset) {
  if (sub.empty() || offset == 0 || offset > text.size()) return 0;
  const size_t at = text.find(sub, offset - 1);
  return at == std::string::npos ? 0 : at + 1;
}

// ---------------------------------------------------------------------------
// Web text

std::string HtmlDecode(const std::string& text) {
  struct TEntity {
    const char* name;  // lower case, after the "&"
    uint8_t nameLength;
    const char* value;
    uint8_t valueLength;
  };
  static constexpr TEntity kEntities[] = {
      {"apos;", 5, "'", 1},  {"#39;", 4, "'", 1},         {"#160;", 5, "\xC2\xA0", 2},
      {"amp;", 4, "&", 1},   {"lt;", 3, "<", 1},          {"gt;", 3, ">", 1},
      {"quot;", 5, "\"", 1}, {"nbsp;", 5, "\xC2\xA0", 2},
  };
  const char* const in = text.data();
  const size_t n = text.size();
  const void* firstAmp = std::memchr(in, '&', n);
  if (!firstAmp) return text;

  std::string out(n, '\0');  // every entity is longer than its value
  char* const start = &out[0];
  size_t i = static_cast<size_t>(static_cast<const char*>(firstAmp) - in);
  std::memcpy(start, in, i);
  char* w = start + i;
  while (i < n) {
    if (in[i] != '&') {
      const void* amp = std::memchr(in + i, '&', n - i);
      const size_t next = amp ? static_cast<size_t>(static_cast<const char*>(amp) - in) : n;
      std::memcpy(w, in + i, next - i);
      w += next - i;
      i = next;
      continue;
    }
    const TEntity* found = nullptr;
    for (const TEntity& e : kEntities) {
      if (n - i - 1 < e.nameLength) continue;
      uint8_t k = 0;
      while (k < e.nameLength && AsciiLower(in[i + 1 + k]) == e.name[k]) ++k;
      if (k == e.nameLength) {
        found = &e;
        break;
      }
    }
    if (found) {
      std::memcpy(w, found->value, found->valueLength);
      w += found->valueLength;
      i += 1 + found->nameLength;
    } else {
      *w++ = '&';
      ++i;
    }
  }
  out.resize(static_cast<size_t>(w - start));
  return out;
}

std::string HtmlToText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* q = p;
    while (q < end && *q != '<' && *q != '>') ++q;
    out.append(p, q);  // text outside tags
    if (q == end) break;
    if (*q == '<') {
      const void* close = std::memchr(q, '>', end - q);
      if (!close) break;  // an unclosed tag drops the rest
      q = static_cast<const char*>(close);
    }
    p = q + 1;  // past the ">"
  }
  return HtmlDecode(out);
}

std::string NeutraliseMarkup(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '<')
      out += "\xE2\x80\xB9";  // ‹
    else if (c == '>')
      out += "\xE2\x80\xBA";  // ›
    else
      out += c;
  }
  return out;
}

std::string JsonUnescape(const std::string& text) {
  const size_t n = text.size();
  // The UTF-16 unit of a "\uXXXX" escape at byte i, or -1.
  auto unitAt = [&](size_t i) -> long {
    if (n - i < 6 || text[i] != '\\' || text[i + 1] != 'u') return -1;
    long unit = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
      const int h = HexDigitValue(text[k]);
      if (h < 0) return -1;
      unit = unit * 16 + h;
    }
    return unit;
  };

  std::string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    if (text[i] != '\\') {
      const void* slash = std::memchr(text.data() + i, '\\', n - i);
      const size_t next = slash ? static_cast<const char*>(slash) - text.data() : n;
      out.append(text, i, next - i);
      i = next;
      continue;
    }
    if (i + 1 < n && text[i + 1] == '\\') {  // an escaped backslash stays as it is
      out.append("\\\\");
      i += 2;
      continue;
    }
    const long unit = unitAt(i);
    if (unit < 0) {
      out.push_back(text[i++]);
      continue;
    }
    i += 6;
    char32_t cp = static_cast<char32_t>(unit);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const long low = unitAt(i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
             (static_cast<char32_t>(low) - 0xDC00);
        i += 6;
      } else {
        cp = kReplacementChar;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      cp = kReplacementChar;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string UrlToId(const std::string& text) {
  std::string s = text;
  for (std::string_view part : {"http:", ":", "www.", "-", "\\", "/", ".", "\"", "'"}) {
    // Removes every occurrence in place; what is still to be searched lies
    // at or after `read`, which the compacted part never passes.
    char* const d = &s[0];
    const size_t n = s.size();
    size_t write = 0, read = 0, at;
    while ((at = FindNoCase(std::string_view(d, n), part, read)) != std::string::npos) {
      std::memmove(d + write, d + read, at - read);
      write += at - read;
      read = at + part.size();
    }
    std::memmove(d + write, d + read, n - read);
    s.resize(write + (n - read));
  }
  for (char& c : s) c = AsciiLower(c);
  return s;
}

std::string UpperNoAccents(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t pos = 0;
  const char* const base = text.data();
  while (pos < n) {
    const size_t run = static_cast<size_t>(AsciiRunEnd(base + pos, base + n) - (base + pos));
    if (run > 0) {
      const size_t from = out.size();
      out.append(base + pos, run);
      for (char* p = &out[from]; p < out.data() + out.size(); ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
      }
      pos += run;
      continue;
    }
    const char32_t cp = DecodeUtf8(text, pos);
    AppendUtf8(out, cp < 0x100 ? kUpperTable[cp] : cp);
  }
  return out;
}

std::string Utf8ToWin1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  auto failAndSkip = [&](size_t next) {
    out.push_back('?');
    i = next;
    while (i < n && IsContinuation(static_cast<uint8_t>(text[i]))) ++i;
  };
  while (i < n) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      const size_t next =
          static_cast<size_t>(AsciiRunEnd(text.data() + i, text.data() + n) - text.data());
      out.append(text, i, next - i);
      i = next;
      continue;
    }
    int need;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
    } else {
      // 4-byte or longer sequences, stray continuation bytes, C0 and C1.
      failAndSkip(i + 1);
      continue;
    }
    bool cut = false, broken = false;
    size_t k = 1;
    for (; k <= static_cast<size_t>(need); ++k) {
      if (i + k >= n) {
        cut = true;
        break;
      }
      if (!IsContinuation(static_cast<uint8_t>(text[i + k]))) {
        broken = true;
        break;
      }
    }
    if (cut) {
      failAndSkip(i + 1);
      continue;
    }
    if (broken) {  // resume at the byte that broke the sequence
      out.push_back('?');
      i += k;
      continue;
    }
    char32_t cp;
    if (need == 1) {
      cp = ((lead & 0x1Fu) << 6) | (static_cast<uint8_t>(text[i + 1]) & 0x3Fu);
    } else {
      cp = ((lead & 0x0Fu) << 12) | ((static_cast<uint8_t>(text[i + 1]) & 0x3Fu) << 6) |
           (static_cast<uint8_t>(text[i + 2]) & 0x3Fu);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) {  // overlong or surrogate
        failAndSkip(i + 1);
        continue;
      }
    }
    i += need + 1;
    const int code = Win1252Code(cp);
    if (code < 0) {
      out.push_back('?');
    } else {
      AppendUtf8(out, static_cast<char32_t>(code));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// KML fragments

std::string CDataSection(const std::string& text) {
  return "<![CDATA[" + ReplaceAll(text, "]]>", "]]]]><![CDATA[>") + "]]>";
}

std::string KmlDescription(const std::string& text) {
  return "<description>" + CDataSection(text) + "</description>";
}

std::string KmlExtendedData(const std::string& text) {
  if (text.empty()) return "";
  // The items are split as NextToken would split them, but by index, so a
  // text of many items takes linear time.
  std::string out = "<ExtendedData>";
  const size_t n = text.size();
  size_t start = 0;
  while (start < n) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = n;
    const size_t found = std::string_view(text).substr(start, end - start).find('=');
    const bool hasValue = found != std::string_view::npos;
    const size_t eq = start + found;
    out += "<Data name=\"";
    out.append(text, start, (hasValue ? eq : end) - start);
    out += "\"><value>";
    if (hasValue) out.append(text, eq + 1, end - eq - 1);
    out += "</value></Data>";
    start = end + 1;
  }
  out += "</ExtendedData>";
  return out;
}

}  // namespace wy
