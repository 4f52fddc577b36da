// The mini-HTML layout engine of info windows and hints.
//
// A short rich text in a small subset of HTML (bold, italic, underline,
// strike-out, fonts, colours, headings, links, images, tab stops, line
// breaks) is split into tokens, wrapped into lines inside a rectangle, drawn
// on a TWyCanvas, and the height it needed is reported. Links report their
// screen areas to a callback; images are asked of a callback.
//
// Tags run from "<" to the first ">" and are recognised by plain substring
// tests on their lower-cased text: <br>, <img, <h1>..<h6> and </h..>, <a ...>
// and </a>, <b> <i> <u> <s> and their closing forms, <font ...> and </font>,
// <tab=N>, <plaintext> and </plaintext>. Every other tag is ignored (it
// draws nothing and does not break the line); an unclosed "<" makes the rest
// of the text plain words. Character entities are not decoded. Words keep
// their trailing blank, which is measured and drawn with them.
//
// The first line's baseline is the top of the rectangle; each later line's
// baseline is the previous one plus the height of its tallest word (or the
// fixed line height). The engine is hardened for untrusted content: its
// work grows linearly with the text whatever its shape (long words, long
// tags, links over many lines), it lays out the whole text, whatever the
// rectangle, and bounds font and image sizes. Inside <plaintext> a line
// feed within a link is a plain break: the link is not closed and reopened
// around it (its tags would only be shown as text, once per line).
// Window thread only.
#pragma once

#include <QFont>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/canvas.h"

namespace wy {

// Layout flags (may be combined).
constexpr uint32_t ckqAlignRight = 1;        // lines end at the right edge
constexpr uint32_t ckqAlignCenter = 2;       // lines are centred (unless right-aligned)
constexpr uint32_t ckqMeasureOnly = 4;       // nothing is drawn, only the height computed
constexpr uint32_t ckqFixedLineHeight = 16;  // every line advances by the fixed line height
// The text's first word is drawn in the left margin, ending at the
// rectangle's left edge, and taken out of the flow.
constexpr uint32_t ckqHangingFirstWord = 32;

// Font sizes are capped at this many pixels: a "size=" of millions of
// points would otherwise ask the font engine for glyphs larger than any
// screen (slow, and huge allocations).
constexpr int kMaxHtmlFontPixels = 400;
// Image sides given in the text or by the image callback are capped at this
// many pixels (negative values count as absent).
constexpr int kMaxHtmlImageSide = 8192;
// Words longer than this many characters (and tags inside <plaintext>, which
// are shown as words) are cut into pieces of this length when the text is
// split into tokens. No real word is that long; it keeps the work of
// wrapping a megabyte without blanks linear.
constexpr size_t kMaxHtmlWordChars = 256;

// Sets the font's size to `size` points at `ppi` pixels per inch: the pixel
// size is round(size * ppi / 72), kept within 1..kMaxHtmlFontPixels.
void SetFontPointSize(QFont& font, double size, int ppi);

// Width of the font's characters in percent of the normal width. -1 is a
// query and returns the current percentage (100 for a normal font). A value
// of 0 or below restores the normal width; others are kept within Qt's
// 1..4000. Returns the percentage now in effect.
int SetFontWidthPercent(QFont& font, int percent);

// Lays out and (unless ckqMeasureOnly) draws `html` inside `rect` on
// `canvas`. `leading` scales line heights and "size=" values; `indent1` is
// the indent of the first line and `indent` of the others, in pixels.
// `rect` receives the same left, top and right and, as bottom, the bottom of
// the laid-out text. Returns true when the bottom passed in is at or below
// that bottom (the text fits). A blank text gives a zero-height rectangle and
// true. The canvas font, font colour and brush are left as they were.
bool DrawHTMLText(TWyCanvas& canvas, const std::string& html, TRect& rect, uint32_t flags,
                  double leading, int indent1, int indent, const TGetDrawGraphic& get_draw_graphic,
                  const TGetAreaAnchor& get_area_anchor);

// One text, tokenized at construction and laid out once.
class TkqHTMLText {
 public:
  explicit TkqHTMLText(const std::string& html);
  ~TkqHTMLText();
  TkqHTMLText(const TkqHTMLText&) = delete;
  TkqHTMLText& operator=(const TkqHTMLText&) = delete;

  // The tokens (whole tags and words). Layout changes them: it inserts line
  // breaks, closes and reopens links around line ends, splits over-long
  // words and removes a hanging first word.
  std::vector<std::string> WordTagList() const;

  // As DrawHTMLText. The token list is consumed by the layout, so a second
  // call does nothing and returns false.
  bool Layout(TWyCanvas& canvas, TRect& rect, uint32_t flags, double leading, int indent1,
              int indent, const TGetDrawGraphic& get_draw_graphic,
              const TGetAreaAnchor& get_area_anchor);

  // Work done by the last layout: tokens classified (both passes) and lines.
  int64_t Steps() const;
  int64_t Lines() const;
  // Characters handled by the tokenizer and the last layout: scanned,
  // copied, measured and drawn.
  int64_t Work() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace wy
