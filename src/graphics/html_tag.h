// One tag of a mini-HTML text (from "<" to the first ">"), analysed once:
// which rule of the layout its lower-cased text matches and the attribute
// values that rule reads. The rules are plain substring tests, tried in
// this order: <plaintext>, </plaintext>, <br>, <img, <h1 .. <h6, </h, "<a ",
// </a>, <b> </b> <i> </i> <u> </u> <s> </s>, <font, </font>, <tab=; a tag
// whose ">" comes later than its second character is ignored, a shorter
// one ("<>") is a word. Attribute values are looked up in the lower-cased
// tag and cut from the tag as written.
//
// The layout classifies a tag every time it lays out or draws a line that
// holds it, and a link's tag is repeated on every line the link spans:
// analysing once keeps that work independent of the tag's length.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "geo/text_convert.h"

namespace wy {

enum THtmlTagRule : uint8_t {
  htPlainText,
  htEndPlainText,
  htBreak,
  htImage,
  htHeading,
  htEndHeading,
  htLink,
  htEndLink,
  htStyleOn,
  htStyleOff,
  htFont,
  htEndFont,
  htTab,
  htIgnored,
  htWord
};

struct THtmlTag {
  std::string text;
  THtmlTagRule rule = htIgnored;
  // htHeading: the level minus one (0..5); htStyleOn / htStyleOff: 0 bold,
  // 1 italic, 2 underline, 3 strike-out.
  uint8_t index = 0;
  // htLink: the value of "href="; htImage: the value of "src=".
  std::string target;
  // htImage: "width=" and "height=" read as integers (0 when absent).
  int image_width = 0;
  int image_height = 0;
  // htFont: each attribute only when present.
  bool has_face = false;
  QString face;
  bool has_size = false;
  double size = 0;  // may be NaN or anything: the layout checks it
  bool has_color = false;
  TColor color = 0;
  bool has_width = false;
  int width_percent = 0;
  // htTab: "tab=" read as a number (-1 when unreadable).
  double tab = 0;
};

// `text` starts with "<" and ends with ">".
THtmlTag AnalyseHtmlTag(std::string text);

// The value of attribute `name` (such as "src=") of `tag`: looked for in
// `lower`, the lower-cased tag, and cut from the tag as written. A
// double-quoted value runs to the next double quote or ">", any other to
// the next blank or ">". Nothing when the name is not shorter than the tag.
std::string HtmlTagAttribute(const char* name, const std::string& tag, const std::string& lower);

// "#RRGGBB" as a colour; the first character is skipped whatever it is.
// Anything else reads as black.
TColor ParseHtmlColor(const std::string& value);

}  // namespace wy
