#pragma once
// Case folding of the letters A to Z only: byte positions, UTF-8 sequences
// and every other byte stay as they are, whatever the process locale says.
// What names, keywords, schemes and host names are compared with.

#include <cstddef>
#include <string>
#include <string_view>

namespace wy {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

// Equal when A to Z are taken as a to z.
inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// text begins with prefix when A to Z are taken as a to z.
inline bool AsciiStartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && AsciiEqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace wy
