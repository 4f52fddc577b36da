#include "geo/query_value.h"

#include "geo/text_convert.h"

namespace wy {

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// True when text[i] is "%" followed by two hexadecimal digits.
bool IsEscapeAt(const std::string& text, size_t i) {
  return text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
         HexDigitValue(text[i + 2]) >= 0;
}

bool IsQueryDelimiter(unsigned char c) {
  switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
    case '?':
      return true;
    default:
      return false;
  }
}

}  // namespace

void AppendPercentEncoded(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

std::string EncodeQueryValue(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c))
      out += ch;
    else
      AppendPercentEncoded(out, c);
  }
  return out;
}

std::string DecodeQueryValue(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsEscapeAt(text, i)) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

std::string EncodeQueryText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsUnreserved(c) || IsQueryDelimiter(c) || IsEscapeAt(text, i))
      out += text[i];
    else
      AppendPercentEncoded(out, c);
  }
  return out;
}

}  // namespace wy
