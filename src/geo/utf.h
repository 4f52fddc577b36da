#pragma once
// UTF-8 decoding and encoding for the text conversions that are defined on
// code points or UTF-16 code units rather than on bytes.
//
// Malformed input never stops a conversion: each maximal ill-formed piece of
// a sequence (the usual "maximal subpart" rule) reads as one U+FFFD, and
// decoding resumes at the first byte that cannot continue it.

#include <cstddef>
#include <string>
#include <string_view>

namespace wy {

constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes the code point that starts at byte `pos` of `text` and moves `pos`
// past it. Overlong forms, surrogates, values above U+10FFFF, bad or missing
// continuation bytes give kReplacementChar. `pos` must be < text.size().
char32_t DecodeUtf8(std::string_view text, size_t& pos);

// Appends the UTF-8 form of `cp`; surrogates and values above U+10FFFF are
// written as U+FFFD. U+0000 is written as a zero byte.
void AppendUtf8(std::string& out, char32_t cp);

// The UTF-8 form of one code point.
std::string CodePointToUtf8(char32_t cp);

// Number of UTF-16 code units of `cp` (2 from U+10000 on) and the units
// themselves.
inline int Utf16Units(char32_t cp, char16_t units[2]) {
  if (cp < 0x10000) {
    units[0] = static_cast<char16_t>(cp);
    return 1;
  }
  cp -= 0x10000;
  units[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
  units[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

}  // namespace wy
