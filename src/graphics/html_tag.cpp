#include "graphics/html_tag.h"

#include "geo/text_convert.h"
#include "platform/ascii.h"

#include <tuple>
#include <utility>

namespace wy {

namespace {

bool Has(const std::string& s, const char* sub) {
  return s.find(sub) != std::string::npos;
}

void ReadFontAttributes(THtmlTag& tag, const std::string& lower) {
  const std::string face = HtmlTagAttribute("face=", tag.text, lower);
  if (!face.empty()) {
    tag.has_face = true;
    tag.face = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
  }
  const std::string size = HtmlTagAttribute("size=", tag.text, lower);
  if (!size.empty()) {
    tag.has_size = true;
    tag.size = StrToFloatDot(size);
  }
  const std::string color = HtmlTagAttribute("color=", tag.text, lower);
  if (!color.empty()) {
    tag.has_color = true;
    tag.color = ParseHtmlColor(color);
  }
  const std::string width = HtmlTagAttribute("width=", tag.text, lower);
  if (!width.empty()) {
    tag.has_width = true;
    tag.width_percent = TextToIntDef(width, 0);
  }
}

}  // namespace

std::string HtmlTagAttribute(const char* name, const std::string& tag, const std::string& lower) {
  const std::string key(name);
  if (key.size() >= tag.size()) return {};
  size_t p = lower.find(key);
  if (p == std::string::npos) return {};
  p += key.size();
  size_t end;
  if (p < tag.size() && tag[p] == '"') {
    ++p;
    end = tag.find_first_of("\">", p);
  } else {
    end = tag.find_first_of(" \t\r\n>", p);
  }
  if (end == std::string::npos) end = tag.size();
  return p < end ? tag.substr(p, end - p) : std::string();
}

TColor ParseHtmlColor(const std::string& value) {
  if (value.size() < 7) return 0;
  int d[6];
  for (int k = 0; k < 6; ++k) {
    d[k] = HexDigitValue(value[1 + k]);
    if (d[k] < 0) return 0;
  }
  const TColor r = static_cast<TColor>(d[0] * 16 + d[1]);
  const TColor g = static_cast<TColor>(d[2] * 16 + d[3]);
  const TColor b = static_cast<TColor>(d[4] * 16 + d[5]);
  return r | (g << 8) | (b << 16);
}

namespace {

// The first rule the lower-cased tag matches, with its index.
std::pair<THtmlTagRule, uint8_t> RuleOf(const std::string& lower) {
  if (Has(lower, "<plaintext>")) return {htPlainText, 0};
  if (Has(lower, "</plaintext>")) return {htEndPlainText, 0};
  // "<br>" before "<b>", "<img" before "<i>".
  if (Has(lower, "<br>")) return {htBreak, 0};
  if (Has(lower, "<img")) return {htImage, 0};
  static const char* const kHeadings[] = {"<h1", "<h2", "<h3", "<h4", "<h5", "<h6"};
  for (uint8_t k = 0; k < 6; ++k)
    if (Has(lower, kHeadings[k])) return {htHeading, k};
  if (Has(lower, "</h")) return {htEndHeading, 0};
  if (Has(lower, "<a ")) return {htLink, 0};
  if (Has(lower, "</a>")) return {htEndLink, 0};
  static const char* const kStyles[][2] = {
      {"<b>", "</b>"}, {"<i>", "</i>"}, {"<u>", "</u>"}, {"<s>", "</s>"}};
  for (uint8_t k = 0; k < 4; ++k) {
    if (Has(lower, kStyles[k][0])) return {htStyleOn, k};
    if (Has(lower, kStyles[k][1])) return {htStyleOff, k};
  }
  if (Has(lower, "<font")) return {htFont, 0};
  if (Has(lower, "</font>")) return {htEndFont, 0};
  if (Has(lower, "<tab=")) return {htTab, 0};
  return {lower.find('>') >= 2 ? htIgnored : htWord, 0};
}

}  // namespace

THtmlTag AnalyseHtmlTag(std::string text) {
  THtmlTag tag;
  tag.text = std::move(text);
  const std::string lower = AsciiLower(tag.text);
  std::tie(tag.rule, tag.index) = RuleOf(lower);
  switch (tag.rule) {
    case htImage:
      tag.target = HtmlTagAttribute("src=", tag.text, lower);
      tag.image_width = TextToIntDef(HtmlTagAttribute("width=", tag.text, lower), 0);
      tag.image_height = TextToIntDef(HtmlTagAttribute("height=", tag.text, lower), 0);
      break;
    case htLink:
      // Read as written: the path of a URL is case-sensitive.
      tag.target = HtmlTagAttribute("href=", tag.text, lower);
      break;
    case htFont:
      ReadFontAttributes(tag, lower);
      break;
    case htTab:
      tag.tab = StrToFloatDot(HtmlTagAttribute("tab=", tag.text, lower));
      break;
    default:
      break;
  }
  return tag;
}

}  // namespace wy
