#include "formats/json_parser.h"

#include <algorithm>
#include <cstdint>

#include "geo/utf.h"

namespace wy {

namespace {

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Four hexadecimal digits at raw[pos]; -1 when they are not there.
long Hex4(std::string_view raw, size_t pos) {
  if (pos + 4 > raw.size()) return -1;
  long v = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    char c = raw[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return -1;
    v = v * 16 + d;
  }
  return v;
}

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

bool TSAJ::ParseJSON(std::string_view text) {
  FText = text;
  FPos = 0;
  FError.clear();
  FErrorLine = FErrorOffset = 0;
  if (FText.substr(0, 3) == "\xEF\xBB\xBF") FPos = 3;
  SkipBlanks();
  const bool ok = FPos < FText.size() && FText[FPos] == '{' && ReadObject(1);
  if (!ok) NoteStop();
  return ok;
}

bool TSAJ::Stop(const char* reason) {
  if (FError.empty()) FError = reason;
  return false;
}

// Records where the parse stopped, with a reason drawn from the text there
// unless a more precise one was given.
void TSAJ::NoteStop() {
  FErrorOffset = std::min(FPos, FText.size());
  FErrorLine =
      1 + static_cast<size_t>(std::count(FText.begin(), FText.begin() + FErrorOffset, '\n'));
  if (!FError.empty()) return;
  if (FErrorOffset >= FText.size()) {
    FError = "the document ends early";
  } else {
    FError = std::string("unexpected '") + FText[FErrorOffset] + "'";
  }
}

void TSAJ::SkipBlanks() {
  while (FPos < FText.size()) {
    char c = FText[FPos];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      ++FPos;
    } else if (c == '#') {
      while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
    } else {
      break;
    }
  }
}

bool TSAJ::ReadObject(int depth) {
  if (depth > kMaxDepth) return Stop("nested too deeply");
  ++FPos;  // "{"
  StartObject();
  std::string name;
  for (;;) {
    SkipBlanks();
    if (FPos >= FText.size()) return false;
    if (FText[FPos] == '}') {
      ++FPos;
      EndObject();
      return true;
    }
    if (FText[FPos] != '"' || !ReadString(name)) return false;
    StartElement(name);
    SkipBlanks();
    if (FPos >= FText.size() || FText[FPos] != ':') return false;
    ++FPos;
    if (!ReadValue(depth)) return false;
    EndElement();
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == ',') ++FPos;
  }
}

bool TSAJ::ReadArray(int depth) {
  if (depth > kMaxDepth) return Stop("nested too deeply");
  ++FPos;  // "["
  StartElement(std::string());
  for (;;) {
    SkipBlanks();
    if (FPos >= FText.size()) return false;
    if (FText[FPos] == ']') {
      ++FPos;
      EndElement();
      return true;
    }
    if (!ReadValue(depth)) return false;
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == ',') ++FPos;
  }
}

bool TSAJ::ReadValue(int depth) {
  SkipBlanks();
  if (FPos >= FText.size()) return false;
  char c = FText[FPos];
  bool ok;
  FValueIsString = c == '"';
  if (c == '"') {
    ok = ReadString(FValue);
  } else if (c == '+' || c == '-' || IsDigit(c)) {
    ok = ReadNumber(FValue);
  } else if (c == '[') {
    return ReadArray(depth + 1);
  } else if (c == '{') {
    return ReadObject(depth + 1);
  } else {
    ok = ReadWord(FValue);
  }
  if (ok) SetElementValue(FValue);
  return ok;
}

bool TSAJ::ReadString(std::string& out) {
  size_t start = FPos + 1;
  size_t p = start;
  while (p < FText.size()) {
    char c = FText[p];
    if (c == '"') {
      out.assign(FText.data() + start, p - start);
      FPos = p + 1;
      return true;
    }
    if (c == '\\') {
      // "\uXXXX" is stepped over whole, any other escape as two characters.
      p += (p + 1 < FText.size() && FText[p + 1] == 'u' && p + 5 < FText.size()) ? 6 : 2;
    } else {
      ++p;
    }
  }
  return Stop("a string is not closed");
}

bool TSAJ::ReadNumber(std::string& out) {
  size_t p = FPos;
  const size_t n = FText.size();
  if (p < n && (FText[p] == '+' || FText[p] == '-')) ++p;
  auto digits = [&]() {
    size_t from = p;
    while (p < n && IsDigit(FText[p])) ++p;
    return p > from;
  };
  if (!digits()) return false;
  if (p < n && FText[p] == '.') {
    ++p;
    if (!digits()) return false;
  }
  if (p < n && (FText[p] == 'e' || FText[p] == 'E')) {
    ++p;
    if (p < n && (FText[p] == '+' || FText[p] == '-')) ++p;
    if (!digits()) return false;
  }
  out.assign(FText.data() + FPos, p - FPos);
  FPos = p;
  return true;
}

bool TSAJ::ReadWord(std::string& out) {
  static const char* const kWords[] = {"true", "false", "null"};
  for (const char* word : kWords) {
    std::string_view w(word);
    if (FPos + w.size() > FText.size()) continue;
    bool same = true;
    for (size_t i = 0; i < w.size() && same; ++i) same = Lower(FText[FPos + i]) == w[i];
    if (same) {
      out.assign(w);
      FPos += w.size();
      return true;
    }
  }
  return false;
}

std::string JsonDecodeString(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c != '\\' || i + 1 >= raw.size()) {
      out += c;
      continue;
    }
    char e = raw[++i];
    switch (e) {
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      case '/':
        out += '/';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        long v = Hex4(raw, i + 1);
        if (v < 0) {
          AppendUtf8(out, kReplacement);
          break;
        }
        i += 4;
        uint32_t cp = static_cast<uint32_t>(v);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          long low = (i + 2 < raw.size() && raw[i + 1] == '\\' && raw[i + 2] == 'u')
                         ? Hex4(raw, i + 3)
                         : -1;
          if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
            i += 6;
          } else {
            cp = kReplacement;
          }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          cp = kReplacement;
        }
        AppendUtf8(out, cp);
        break;
      }
      default:
        AppendUtf8(out, kReplacement);
        break;
    }
  }
  return out;
}

}  // namespace wy
