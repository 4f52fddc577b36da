#include "formats/param_parser.h"

#include <string>

#include "geo/text_convert.h"

namespace wy {

bool ParseParamDouble(std::string_view text, double& value) {
  return TryStrToFloatDot(std::string(text), value);
}

// TextToIntDef reads "$" hexadecimal; "0x" is written that way first. Two
// defaults tell a failure from a value that happens to equal one of them.
bool ParseParamInt(std::string_view text, int32_t& value) {
  std::string s = Trim(std::string(text));
  const size_t sign = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (s.size() > sign + 2 && s[sign] == '0' && (s[sign + 1] == 'x' || s[sign + 1] == 'X'))
    s.replace(sign, 2, "$");
  const int read = TextToIntDef(s, 0);
  if (read == 0 && TextToIntDef(s, 1) == 1) return false;
  value = read;
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
