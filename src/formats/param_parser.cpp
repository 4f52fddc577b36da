#include "formats/param_parser.h"

#include <charconv>
#include <cmath>
#include <string>

#include "geo/text_convert.h"

namespace wy {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The whole text as a finite number with "." as separator.
bool ReadDot(std::string_view s, double& out) {
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (s.empty() || s.front() == '-' || s.front() == '+') return false;
  }
  if (s.empty()) return false;
  double v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseParamDouble(std::string_view text, double& value) {
  const std::string_view s = TrimBlanks(text);
  if (ReadDot(s, value)) return true;
  const size_t comma = s.find(',');
  if (comma == std::string_view::npos) return false;
  std::string dotted(s);
  dotted[comma] = '.';
  return ReadDot(dotted, value);
}

bool ParseParamInt(std::string_view text, int32_t& value) {
  std::string_view s = TrimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t v = 0;
  for (char c : s) {
    const int digit = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return false;
    v = v * base + digit;
    if (v > limit) return false;
  }
  value = static_cast<int32_t>(negative ? -v : v);
  return true;
}

TWyParamParser::TWyParamParser(std::string_view Buf, char Sep) {
  SetSeparator(Sep);
  SetText(Buf);
}

void TWyParamParser::SetText(std::string_view value) {
  std::string buffer;
  buffer.reserve(value.size() + 2);
  buffer += FSeparator;
  size_t from = 0;
  for (size_t at = value.find("\r\n"); at != std::string_view::npos;
       at = value.find("\r\n", from)) {
    buffer.append(value.substr(from, at - from));
    buffer += FSeparator;
    from = at + 2;
  }
  buffer.append(value.substr(from));
  buffer += FSeparator;
  FBuffer.swap(buffer);
}

void TWyParamParser::SetSeparator(char value) {
  FSeparator = value;
  SetText(FBuffer + value);
}

bool TWyParamParser::Find(const std::string& name, std::string_view& value) const {
  std::string key;
  key.reserve(name.size() + 2);
  key += FSeparator;
  key += name;
  key += '=';
  const size_t at = FBuffer.find(key);
  if (at == std::string::npos) return false;
  const size_t start = at + key.size();
  size_t end = FBuffer.find(FSeparator, start);
  if (end == std::string::npos) end = FBuffer.size();
  value = std::string_view(FBuffer).substr(start, end - start);
  return true;
}

std::string TWyParamParser::ToStr(const std::string& name) const {
  std::string_view value;
  if (!Find(name, value)) return "";
  return UnescapeChars(";=\r\n", std::string(value));
}

double TWyParamParser::ToDouble(const std::string& name, double def) const {
  std::string_view value;
  if (!Find(name, value) || value.empty()) return def;
  double v = 0;
  return ParseParamDouble(value, v) ? v : -1;
}

int32_t TWyParamParser::ToInt(const std::string& name, int32_t def) const {
  std::string_view value;
  int32_t v = 0;
  if (!Find(name, value) || !ParseParamInt(value, v)) return def;
  return v;
}

bool TWyParamParser::ToBool(const std::string& name, bool def) const {
  std::string_view value;
  if (!Find(name, value) || value.empty()) return def;
  if (value.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    const char c = value[i];
    if ((c | 0x20) != "true"[i]) return false;
  }
  return true;
}

}  // namespace wy
