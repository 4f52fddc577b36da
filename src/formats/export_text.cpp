#include "formats/export_text.h"

#include "geo/utf.h"

namespace wy {

namespace {

// Calls `emit` for every code point of `text`, invalid sequences as U+FFFD.
// Plain ASCII runs are handed over whole to keep long texts fast.
template <typename Ascii, typename Other>
void ForEachCodePoint(std::string_view text, Ascii ascii, Other other) {
  size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      ascii(static_cast<char>(c));
      ++pos;
    } else {
      other(DecodeUtf8(text, pos));
    }
  }
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  ForEachCodePoint(
      text,
      [&out](char c) {
        switch (c) {
          case '&':
            out += "&amp;";
            break;
          case '<':
            out += "&lt;";
            break;
          case '>':
            out += "&gt;";
            break;
          case '"':
            out += "&quot;";
            break;
          case '\'':
            out += "&apos;";
            break;
          default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
              out.push_back(c);
        }
      },
      [&out](char32_t cp) {
        // U+FFFE and U+FFFF are no XML characters either.
        AppendUtf8(out, cp == 0xFFFE || cp == 0xFFFF ? 0xFFFD : cp);
      });
}

void AppendJsonString(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  ForEachCodePoint(
      text,
      [&out](char c) {
        switch (c) {
          case '"':
            out += "\\\"";
            break;
          case '\\':
            out += "\\\\";
            break;
          case '\n':
            out += "\\n";
            break;
          case '\r':
            out += "\\r";
            break;
          case '\t':
            out += "\\t";
            break;
          default:
            // DEL too: the text may end up on a terminal.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
              static const char kHex[] = "0123456789abcdef";
              out += "\\u00";
              out.push_back(kHex[(c >> 4) & 0xF]);
              out.push_back(kHex[c & 0xF]);
            } else {
              out.push_back(c);
            }
        }
      },
      [&out](char32_t cp) { AppendUtf8(out, cp); });
  out.push_back('"');
}

}  // namespace wy
