#include "graphics/html_text.h"

#include <QFontMetrics>
#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>

#include "geo/text_convert.h"
#include "geo/utf.h"
#include "graphics/html_tag.h"
#include "platform/log.h"

namespace wy {

namespace {

// What a token is, once classified.
enum TTokenKind : uint8_t {
  tkLineBreak = 0,
  tkFormat = 1,  // a formatting tag: no width
  tkIgnored = 2,
  tkWord = 3,
  tkImage = 4,
  tkTab = 6
};

// Coordinates are kept in 64 bits while laying out (a megabyte of tall
// lines adds up) and clamped when they leave the engine.
constexpr int64_t kCoordLimit = INT_MAX / 2;

int ToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit));
}

int64_t RoundTo64(double v) {
  if (!(v == v)) return 0;
  return static_cast<int64_t>(std::llround(std::clamp<double>(v, -1e15, 1e15)));
}

bool IsBlankText(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

int ImageSide(int v) {
  return std::clamp(v, 0, kMaxHtmlImageSide);
}

// Number of characters (code points; each ill-formed piece counts as one).
size_t CharCount(const std::string& s, size_t stop_at = SIZE_MAX) {
  size_t n = 0;
  for (size_t pos = 0; pos < s.size() && n < stop_at; ++n) DecodeUtf8(s, pos);
  return n;
}

// Byte length of the first `n` characters.
size_t PrefixBytes(const std::string& s, size_t n) {
  size_t pos = 0;
  for (size_t k = 0; k < n && pos < s.size(); ++k) DecodeUtf8(s, pos);
  return pos;
}

double FontPoints(const QFont& font, int ppi) {
  if (font.pointSizeF() > 0) return font.pointSizeF();
  return font.pixelSize() * 72.0 / std::max(ppi, 1);
}

// A token: a word (its text) or a tag (an index into the engine's tags;
// a link's tag repeated on every line it spans shares one analysis).
struct TToken {
  std::string text;
  int32_t tag = -1;
};

// The token list: a gap buffer, because every insertion and removal during
// layout happens at or just after the token being laid out, while the
// drawing pass reads back the tokens of the finished line.
class TTokenList {
 public:
  size_t size() const { return front_.size() + back_.size(); }
  const TToken& operator[](size_t i) const {
    return i < front_.size() ? front_[i] : back_[back_.size() - 1 - (i - front_.size())];
  }
  void PushBack(TToken t) {
    MoveGap(size());
    front_.push_back(std::move(t));
  }
  void Insert(size_t i, TToken t) {
    MoveGap(i);
    back_.push_back(std::move(t));
  }
  void Erase(size_t i) {
    MoveGap(i);
    back_.pop_back();
  }
  void Replace(size_t i, TToken t) {
    MoveGap(i);
    back_.back() = std::move(t);
  }

 private:
  void MoveGap(size_t i) {
    while (front_.size() > i) {
      back_.push_back(std::move(front_.back()));
      front_.pop_back();
    }
    while (front_.size() < i && !back_.empty()) {
      front_.push_back(std::move(back_.back()));
      back_.pop_back();
    }
  }

  std::vector<TToken> front_;
  std::vector<TToken> back_;  // reversed
};

}  // namespace

void SetFontPointSize(QFont& font, double size, int ppi) {
  double px = std::round(size * ppi / 72.0);
  if (!(px >= 1)) px = 1;
  if (px > kMaxHtmlFontPixels) px = kMaxHtmlFontPixels;
  font.setPixelSize(static_cast<int>(px));
}

int SetFontWidthPercent(QFont& font, int percent) {
  if (percent == -1) return font.stretch() == QFont::AnyStretch ? 100 : font.stretch();
  const int stretch = percent <= 0 ? 100 : std::clamp(percent, 1, 4000);
  font.setStretch(stretch);
  return stretch;
}

// ---------------------------------------------------------------------------

struct TkqHTMLText::TImpl {
  // Tags every text may get from the layout itself.
  static constexpr int32_t kBreakTag = 0;    // "<br>"
  static constexpr int32_t kEndLinkTag = 1;  // "</a>"

  // The style and link state that a line's drawing pass replays from.
  struct TStyle {
    QFont font;
    TColor color = 0;
    int width = 100;
    QFont last_font;
    TColor last_color = 0;
    int last_width = 100;
    bool plain = false;
    bool tag_a = false;
    // The tag of the last link opened (its target is the link's URL); -1
    // before any.
    int32_t link = -1;
    double tab = 0;
  };

  explicit TImpl(const std::string& html) : blank(IsBlankText(html)), text_bytes(html.size()) {
    AddTag("<br>");
    AddTag("</a>");
    Tokenize(html);
  }

  // -- tokenizing ----------------------------------------------------------

  int32_t AddTag(std::string text) {
    work += static_cast<int64_t>(text.size());
    tags.push_back(AnalyseHtmlTag(std::move(text)));
    return static_cast<int32_t>(tags.size() - 1);
  }

  const std::string& TokenText(size_t i) const {
    const TToken& t = tokens[i];
    return t.tag >= 0 ? tags[static_cast<size_t>(t.tag)].text : t.text;
  }

  // Appends a tag, following plain-text mode as the layout will.
  void EmitTag(int32_t tag) {
    tokens.PushBack(TToken{{}, tag});
    const THtmlTagRule rule = tags[static_cast<size_t>(tag)].rule;
    if (rule == htPlainText)
      plain_tokens = true;
    else if (rule == htEndPlainText)
      plain_tokens = false;
  }

  // Words longer than kMaxHtmlWordChars characters are cut into pieces of
  // that length, so that no token is long.
  void EmitWord(const std::string& word) {
    work += static_cast<int64_t>(word.size());
    if (word.size() <= kMaxHtmlWordChars || CharCount(word) <= kMaxHtmlWordChars) {
      tokens.PushBack(TToken{word, -1});
      return;
    }
    size_t pos = 0;
    while (pos < word.size()) {
      size_t end = pos;
      for (size_t k = 0; k < kMaxHtmlWordChars && end < word.size(); ++k) DecodeUtf8(word, end);
      // A lone trailing blank stays with the last piece.
      if (word.size() - end == 1 && word[end] == ' ') end = word.size();
      tokens.PushBack(TToken{word.substr(pos, end - pos), -1});
      pos = end;
    }
  }

  void EmitBreak(int32_t link) {
    if (link < 0 || plain_tokens) {
      EmitTag(kBreakTag);
    } else {
      // The link is closed before the break and reopened after it, so that
      // each line reports its own piece. (Inside plain text these tags
      // would only be drawn as text, a copy of the link's tag per line.)
      EmitTag(kEndLinkTag);
      EmitTag(kBreakTag);
      EmitTag(link);
    }
  }

  void SplitWords(const std::string& text, size_t begin, size_t end, int32_t link) {
    std::string word;
    for (size_t i = begin; i < end; ++i) {
      const char c = text[i];
      if (c == ' ') {
        word += ' ';
        EmitWord(word);
        word.clear();
      } else if (c == '\r') {
      } else if (c == '\n') {
        EmitWord(word);
        word.clear();
        EmitBreak(link);
      } else {
        word += c;
      }
    }
    if (!word.empty()) EmitWord(word);
  }

  void Tokenize(const std::string& text) {
    int32_t link = -1;
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t lt = text.find('<', pos);
      if (lt == std::string::npos) {
        SplitWords(text, pos, text.size(), link);
        break;
      }
      if (lt > pos) {
        SplitWords(text, pos, lt, link);
        pos = lt;
        continue;
      }
      const size_t gt = text.find('>', pos);
      if (gt == std::string::npos) {
        SplitWords(text, pos, text.size(), link);
        break;
      }
      const int32_t tag = AddTag(text.substr(pos, gt + 1 - pos));
      pos = gt + 1;
      const THtmlTag& t = tags[static_cast<size_t>(tag)];
      if (t.text.find("<a ") != std::string::npos)
        link = tag;
      else if (t.text == "</a>")
        link = -1;
      if (t.text == "<br>" && link >= 0) {
        EmitBreak(link);
      } else if (plain_tokens && t.rule != htPlainText && t.rule != htEndPlainText) {
        // Plain text shows the tag as a word; it is cut like one.
        EmitWord(t.text);
      } else {
        EmitTag(tag);
      }
    }
  }

  // -- canvas helpers ------------------------------------------------------

  int Width(const std::string& text) {
    work += static_cast<int64_t>(text.size());
    return canvas->TextWidth(text);
  }

  int Height(const std::string& text) {
    work += static_cast<int64_t>(text.size());
    return canvas->TextHeight(text);
  }

  int Ascent() { return QFontMetrics(canvas->Font(), &metrics_device).ascent(); }

  TStyle Snapshot() const {
    TStyle s = style;
    s.font = canvas->Font();
    s.color = canvas->FontColor();
    return s;
  }

  void Restore(const TStyle& s) {
    style = s;
    canvas->SetFont(s.font);
    canvas->SetFontColor(s.color);
  }

  void SaveFont() {
    style.last_font = canvas->Font();
    style.last_color = canvas->FontColor();
    style.last_width = style.width;
  }

  void RestoreFont() {
    canvas->SetFont(style.last_font);
    canvas->SetFontColor(style.last_color);
    style.width = 100;
  }

  // -- classifying -----------------------------------------------------------

  void ApplyFontTag(const THtmlTag& tag) {
    QFont& font = canvas->Font();
    if (tag.has_face && tag.face != font.family()) font.setFamily(tag.face);
    if (tag.has_size) {
      double points = tag.size;
      if (!(points >= 8)) points = base_points;
      points *= leading;
      if (points != FontPoints(font, ppi)) SetFontPointSize(font, points, ppi);
    }
    if (tag.has_color) canvas->SetFontColor(tag.color);
    if (tag.has_width) style.width = SetFontWidthPercent(font, tag.width_percent);
  }

  // Reads an image tag into img_src / img_width / img_height. `x` is where
  // the image would start on the line, before alignment.
  void ParseImage(const THtmlTag& tag, int64_t x) {
    img_src = &tag.target;
    int w = ImageSide(tag.image_width);
    int h = ImageSide(tag.image_height);
    if (draw_graphic && (w == 0 || h == 0)) {
      const QImage* gfx = nullptr;
      int l = w;
      int hh = h;
      draw_graphic(*img_src, gfx, -1, -1, l, hh);
      if (!gfx) {
        w = h = 32;
      } else {
        w = std::clamp(l > 0 ? l : gfx->width(), 0, kMaxHtmlImageSide);
        h = std::clamp(hh > 0 ? hh : gfx->height(), 0, kMaxHtmlImageSide);
      }
    } else {
      // Without an image callback there is nothing to ask: a missing side
      // takes the size of a missing image.
      if (w == 0) w = 32;
      if (h == 0) h = 32;
    }
    if (x + w > rect.Right) {
      // Shrunk to what is left of the line, then a break. Never below one
      // pixel: a zero or negative width would draw the image mirrored.
      w = static_cast<int>(std::clamp<int64_t>(rect.Right - x - 5, 1, kMaxHtmlImageSide));
      tag_break = true;
    }
    img_width = std::max(w, 1);
    img_height = h;
  }

  TTokenKind Classify(size_t i, bool drawing, int64_t x) {
    tag_break = false;
    const int32_t index = tokens[i].tag;
    if (index < 0) return tkWord;
    const THtmlTag& tag = tags[static_cast<size_t>(index)];
    if (tag.rule == htPlainText) {
      style.plain = true;
      return tkFormat;
    }
    if (tag.rule == htEndPlainText) {
      style.plain = false;
      return tkFormat;
    }
    if (style.plain) return tkWord;
    switch (tag.rule) {
      case htBreak:
        return tkLineBreak;
      case htImage:
        ParseImage(tag, x);
        return tkImage;
      case htHeading: {
        static const int kHeadingPoints[] = {20, 15, 11, 10, 8, 7};
        const int points = kHeadingPoints[std::min<size_t>(tag.index, 5)];
        SaveFont();
        QFont& font = canvas->Font();
        if (FontPoints(font, ppi) != points) SetFontPointSize(font, points, ppi);
        font.setBold(true);
        return tkLineBreak;
      }
      case htEndHeading:
        RestoreFont();
        tag_break = true;
        return tkFormat;
      case htLink:
        style.tag_a = true;
        canvas->Font().setUnderline(true);
        style.link = index;
        a_left = a_right = pen_x;
        a_y = this_line_y;
        return tkFormat;
      case htEndLink: {
        // A "</a>" with no link open reports nothing: its area would run
        // from wherever an earlier link started, with an earlier target.
        const bool was_open = style.tag_a;
        style.tag_a = false;
        canvas->Font().setUnderline(false);
        // Reported from the drawing pass only: the measuring pass has no pen
        // position yet and would report every area a second time.
        if (drawing && was_open) {
          // A tab may have moved the pen back: the area spans all the link
          // drew on its line.
          a_left = std::min(a_left, pen_x);
          a_right = std::max(a_right, pen_x);
          const int64_t l = a_right - a_left;
          const int64_t h = max_height;
          a_y -= h;
          static const std::string kNoUrl;
          const std::string& url =
              style.link >= 0 ? tags[static_cast<size_t>(style.link)].target : kNoUrl;
          if (area_anchor) area_anchor(ToInt(a_left), ToInt(a_y), ToInt(l), ToInt(h), url);
        }
        return tkFormat;
      }
      case htStyleOn:
      case htStyleOff: {
        static void (QFont::*const kSet[])(bool) = {&QFont::setBold, &QFont::setItalic,
                                                    &QFont::setUnderline, &QFont::setStrikeOut};
        (canvas->Font().*kSet[std::min<size_t>(tag.index, 3)])(tag.rule == htStyleOn);
        return tkFormat;
      }
      case htFont:
        SaveFont();
        ApplyFontTag(tag);
        return tkFormat;
      case htEndFont:
        RestoreFont();
        return tkFormat;
      case htTab:
        if (tag.tab > 0 && tag.tab < rect.Right) style.tab = tag.tab;
        return tkTab;
      case htIgnored:
        return tkIgnored;
      default:
        return tkWord;
    }
  }

  // -- laying out ----------------------------------------------------------

  // Number of characters of `word` to keep on a line starting at x0 so
  // that they end before the right edge: at least one, never all (an empty
  // rest is never left); 0 when the word stays whole (it fits, or it is a
  // single character). Prefixes are measured with growing then bisected
  // lengths, so a long word costs a few measurements of what fits rather
  // than a measurement of the whole word on every line.
  size_t FittingPrefix(const std::string& word, int64_t x0) {
    work += static_cast<int64_t>(word.size());
    const size_t length = CharCount(word);
    if (length < 2) return 0;
    auto width_of = [&](size_t k) {
      const size_t bytes = PrefixBytes(word, k);
      work += static_cast<int64_t>(bytes);
      return static_cast<int64_t>(Width(word.substr(0, bytes)));
    };
    auto fits = [&](size_t k) { return x0 + width_of(k) < rect.Right; };
    size_t ok = 0;
    if (rect.Right - x0 > 0) {
      size_t probe = 1;
      while (probe <= length && fits(probe)) {
        ok = probe;
        probe *= 2;
      }
      size_t bad = std::min(probe, length + 1);
      while (bad - ok > 1) {
        const size_t mid = ok + (bad - ok) / 2;
        if (fits(mid))
          ok = mid;
        else
          bad = mid;
      }
    }
    if (ok >= length) return 0;
    if (ok + 1 == length && x0 + width_of(length) <= rect.Right) return 0;
    return std::max<size_t>(ok, 1);
  }

  // Width of the word at `i` as the first word of a line starting at x0,
  // after cutting it when it is wider than the line (the rest becomes the
  // next token, never cutting a UTF-8 sequence). Tokens are short (see
  // EmitWord), so each cut costs a bounded amount of work.
  int64_t FirstWordWidth(size_t i, int64_t x0) {
    const std::string word = TokenText(i);
    work += static_cast<int64_t>(word.size());
    if (word.size() <= 64) {
      const int64_t width = Width(word);
      if (x0 + width <= rect.Right) return width;
    }
    const size_t keep = FittingPrefix(word, x0);
    if (keep > 0) {
      const size_t cut = PrefixBytes(word, keep);
      tokens.Replace(i, TToken{word.substr(0, cut), -1});
      tokens.Insert(i + 1, TToken{word.substr(cut), -1});
    }
    return Width(TokenText(i));
  }

  int64_t LineHeight(int64_t height) const {
    return RoundTo64(static_cast<double>(height) * leading);
  }

  // When a link is open (outside plain text): a "</a>" is put in at token
  // `i` and the link's tag again `keep` tokens after it, so that the line
  // ends the link's piece and the next line starts a new one; the "</a>" is
  // read at once. False, and nothing changes, when no link is open.
  bool CloseOpenLinkAt(size_t i, size_t keep) {
    if (!style.tag_a || style.plain || style.link < 0) return false;
    const int32_t open = style.link;
    tokens.Insert(i, TToken{{}, kEndLinkTag});
    tokens.Insert(i + 1 + keep, TToken{{}, open});
    ++steps;
    Classify(i, false, line_end_x);
    return true;
  }

  // Lays out (and unless measuring only, draws) one line; true when the
  // text is finished.
  bool LayoutLine() {
    const bool first_line = cur_line == 1;
    const int64_t x0 = static_cast<int64_t>(rect.Left) + (first_line ? indent1 : indent);
    const int64_t y0 = this_line_y;
    line_end_x = x0;
    const TStyle start = Snapshot();
    max_height = static_line_height;
    const size_t first = static_cast<size_t>(line_end_idx + 1);
    line_widths.clear();
    bool finished = false;
    size_t i = first;
    while (true) {
      if (i >= tokens.size()) {
        finished = true;
        break;
      }
      ++steps;
      const TTokenKind kind = Classify(i, false, line_end_x);
      if (kind == tkLineBreak) {
        // A break the tokenizer did not split the link around ("<BR>", a
        // heading, the break after an image or a heading's end): the open
        // link is closed before it and reopened after it, as at a wrap, so
        // that each line reports its own piece (one area from the first
        // line to the next would have a meaningless, even negative, width).
        if (CloseOpenLinkAt(i, 1)) ++i;
        if (line_word_count == 0)
          this_line_y = fixed_height ? y0 + max_height : y0 + LineHeight(Height("Hy"));
        line_end_idx = static_cast<int64_t>(i);
        finished = i + 1 >= tokens.size();
        break;
      }
      if (kind == tkFormat || kind == tkIgnored) {
        if (tag_break) tokens.Insert(i + 1, TToken{{}, kBreakTag});
      } else if (kind == tkWord) {
        if (hanging && first_line && line_word_count == 0) {
          const std::string word = TokenText(i);
          if (!measure_only) {
            std::string trimmed = word;
            while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
            while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
            const int64_t x = rect.Left - Width(trimmed);
            DrawWord(x, this_line_y, trimmed, Height(trimmed));
          }
          ++line_word_count;
          ++word_count;
          tokens.Erase(i);
          if (i >= tokens.size()) {
            finished = true;
            break;
          }
          continue;
        }
        int64_t width;
        if (line_word_count == 0) {
          // The first word of a line is always taken, cut if it is longer
          // than the line: every line consumes at least one word, so a
          // rectangle narrower than the indent cannot loop forever.
          width = FirstWordWidth(i, x0);
        } else {
          width = Width(TokenText(i));
          if (line_end_x + width > rect.Right) {
            // The line ends before this word. An open link is closed at the
            // end of this line and reopened on the next, so that each line
            // reports its own piece.
            if (CloseOpenLinkAt(i, 0)) {
              line_end_idx = static_cast<int64_t>(i);
            } else {
              line_end_idx = static_cast<int64_t>(i) - 1;
            }
            break;
          }
        }
        // The drawing pass replays the same fonts: it reuses the width.
        if (line_widths.size() <= i - first) line_widths.resize(i - first + 1, -1);
        line_widths[i - first] = width;
        ++line_word_count;
        ++word_count;
        line_end_x += width;
        if (!first_line) {
          if (fixed_height)
            this_line_y = y0 + static_line_height;
          else
            this_line_y = std::max(this_line_y, y0 + LineHeight(Height(TokenText(i))));
        }
      } else if (kind == tkImage) {
        ++line_word_count;
        ++word_count;
        line_end_x += img_width;
        this_line_y = y0 + img_height + 4;
        max_height = std::max<int64_t>(max_height, img_height);
        if (tag_break) tokens.Insert(i + 1, TToken{{}, kBreakTag});
      }
      line_end_idx = static_cast<int64_t>(i);
      if (i + 1 >= tokens.size()) {
        finished = true;
        break;
      }
      ++i;
    }
    if (!measure_only && line_end_idx >= static_cast<int64_t>(first))
      DrawLine(first, static_cast<size_t>(line_end_idx), x0, start);
    return finished;
  }

  void DrawWord(int64_t x, int64_t baseline, const std::string& text, int height) {
    // Words outside the clip are only measured: a long text on a small
    // surface stays cheap to draw.
    const QRect clip = canvas->ClipBox();
    if (baseline - height > clip.bottom() || baseline + height < clip.top() || x > clip.right())
      return;
    work += static_cast<int64_t>(text.size());
    canvas->TextOut(ToInt(x), ToInt(baseline - Ascent()), text);
  }

  void DrawLine(size_t first, size_t last, int64_t x0, const TStyle& start) {
    Restore(start);
    int64_t start_x = x0;
    if (flags & ckqAlignRight)
      start_x = x0 + rect.Right - line_end_x;
    else if (flags & ckqAlignCenter)
      start_x = x0 + (rect.Right - line_end_x) / 2;
    const int64_t shift = start_x - x0;
    pen_x = start_x;
    for (size_t j = first; j <= last && j < tokens.size(); ++j) {
      ++steps;
      const TTokenKind kind = Classify(j, true, pen_x - shift);
      if (kind == tkLineBreak) break;
      if (kind == tkWord) {
        const std::string& word = TokenText(j);
        const int height = Height(word);
        const int64_t known = j - first < line_widths.size() ? line_widths[j - first] : -1;
        const int64_t width = known >= 0 ? known : Width(word);
        if (pen_x + width >= canvas->ClipBox().left()) DrawWord(pen_x, this_line_y, word, height);
        pen_x += width;
        max_height = std::max<int64_t>(max_height, height);
      } else if (kind == tkImage) {
        // Images sit on the baseline; the pen stays on it, so that images
        // side by side share one line.
        const int64_t top = this_line_y - img_height;
        if (draw_graphic) {
          const QImage* gfx = nullptr;
          int l = img_width;
          int h = img_height;
          draw_graphic(*img_src, gfx, ToInt(pen_x), ToInt(top), l, h);
          if (gfx)
            canvas->StretchDraw(
                TRect{ToInt(pen_x), ToInt(top), ToInt(pen_x + img_width), ToInt(this_line_y)},
                *gfx);
        }
        pen_x += img_width;
      } else if (kind == tkTab) {
        a_right = std::max(a_right, pen_x);
        pen_x = rect.Left + RoundTo64(style.tab);
        a_left = std::min(a_left, pen_x);
      }
    }
  }

  bool Run(TWyCanvas& target, TRect& r, uint32_t layout_flags, double layout_leading,
           int first_indent, int other_indent, const TGetDrawGraphic& gfx,
           const TGetAreaAnchor& area) {
    if (laid_out) return false;
    laid_out = true;
    if (blank) {
      r.Bottom = r.Top;
      return true;
    }
    canvas = &target;
    rect = r;
    flags = layout_flags;
    measure_only = (flags & ckqMeasureOnly) != 0;
    fixed_height = (flags & ckqFixedLineHeight) != 0;
    hanging = (flags & ckqHangingFirstWord) != 0;
    // A caller's absurd leading would scale sizes past any screen.
    leading = std::isfinite(layout_leading) ? std::clamp(layout_leading, 0.0, 100.0) : 1.0;
    indent1 = first_indent;
    indent = other_indent;
    draw_graphic = gfx;
    area_anchor = area;

    const QImage& bitmap = target.Bitmap();
    ppi = std::max(bitmap.logicalDpiY(), 1);
    metrics_device = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
    metrics_device.setDotsPerMeterX(bitmap.dotsPerMeterX());
    metrics_device.setDotsPerMeterY(bitmap.dotsPerMeterY());

    // Whatever happens, the canvas gets its font, colour and brush back.
    struct TCanvasGuard {
      TWyCanvas& c;
      QFont font;
      TColor color;
      QBrush brush;
      ~TCanvasGuard() {
        c.SetFont(font);
        c.SetFontColor(color);
        c.SetBrush(brush);
      }
    } guard{target, target.Font(), target.FontColor(), target.Brush()};
    // Text is drawn without a background box, over whatever is there.
    target.Brush().setStyle(Qt::NoBrush);

    base_points = FontPoints(target.Font(), ppi);
    style = TStyle();
    style.last_font = target.Font();
    style.last_color = target.FontColor();
    static_line_height = LineHeight(target.TextHeight("Hy"));

    this_line_y = rect.Top;
    max_height = static_line_height;
    line_end_idx = -1;
    cur_line = 1;
    // Every line consumes a token of the text or at least one character of
    // a word cut over several lines (the tokens the layout inserts never
    // stand alone on a line), so this cap is never reached; it is a last
    // line of defence only.
    const int64_t max_lines =
        static_cast<int64_t>(text_bytes) + static_cast<int64_t>(tokens.size()) + 64;
    while (!LayoutLine()) {
      ++cur_line;
      line_end_x = 0;
      line_word_count = 0;
      if (cur_line > max_lines) {
        LogWarning("graphics", "html layout cut after " + std::to_string(max_lines) +
                                   " lines; the rest of a text of " + std::to_string(text_bytes) +
                                   " bytes is not shown");
        break;
      }
    }
    const int64_t bottom = this_line_y + max_height;
    const bool fits = r.Bottom >= bottom;
    r.Bottom = ToInt(bottom);
    return fits;
  }

  std::vector<THtmlTag> tags;
  TTokenList tokens;
  bool blank = false;
  size_t text_bytes = 0;
  // The tokenizer is inside plain text.
  bool plain_tokens = false;
  bool laid_out = false;

  TWyCanvas* canvas = nullptr;
  QImage metrics_device;
  TRect rect;
  uint32_t flags = 0;
  bool measure_only = false;
  bool fixed_height = false;
  bool hanging = false;
  double leading = 1.2;
  int indent1 = 0;
  int indent = 0;
  int ppi = 96;
  double base_points = 8;
  TGetDrawGraphic draw_graphic;
  TGetAreaAnchor area_anchor;

  TStyle style;
  bool tag_break = false;
  const std::string* img_src = nullptr;
  int img_width = 0;
  int img_height = 0;
  int64_t a_y = 0;     // the line the open link started on
  int64_t a_left = 0;  // the span the open link drew on its line
  int64_t a_right = 0;
  int64_t pen_x = 0;

  int64_t this_line_y = 0;
  int64_t max_height = 0;
  int64_t static_line_height = 0;
  int64_t line_end_x = 0;
  int64_t line_end_idx = -1;
  int64_t cur_line = 1;
  int64_t line_word_count = 0;
  int64_t word_count = 0;
  int64_t steps = 0;
  int64_t work = 0;
  // Widths measured for the current line's words, by offset from its first
  // token (-1: not a measured word).
  std::vector<int64_t> line_widths;
};

TkqHTMLText::TkqHTMLText(const std::string& html) : impl_(std::make_unique<TImpl>(html)) {}

TkqHTMLText::~TkqHTMLText() = default;

std::vector<std::string> TkqHTMLText::WordTagList() const {
  std::vector<std::string> out;
  out.reserve(impl_->tokens.size());
  for (size_t i = 0; i < impl_->tokens.size(); ++i) out.push_back(impl_->TokenText(i));
  return out;
}

bool TkqHTMLText::Layout(TWyCanvas& canvas, TRect& rect, uint32_t flags, double leading,
                         int indent1, int indent, const TGetDrawGraphic& get_draw_graphic,
                         const TGetAreaAnchor& get_area_anchor) {
  return impl_->Run(canvas, rect, flags, leading, indent1, indent, get_draw_graphic,
                    get_area_anchor);
}

int64_t TkqHTMLText::Steps() const {
  return impl_->steps;
}

int64_t TkqHTMLText::Work() const {
  return impl_->work;
}

int64_t TkqHTMLText::Lines() const {
  return impl_->laid_out ? impl_->cur_line : 0;
}

bool DrawHTMLText(TWyCanvas& canvas, const std::string& html, TRect& rect, uint32_t flags,
                  double leading, int indent1, int indent, const TGetDrawGraphic& get_draw_graphic,
                  const TGetAreaAnchor& get_area_anchor) {
  try {
    TkqHTMLText engine(html);
    return engine.Layout(canvas, rect, flags, leading, indent1, indent, get_draw_graphic,
                         get_area_anchor);
  } catch (...) {
    // Out of memory on a hostile text: reported as not fitting.
    LogCaughtException(llWarning, "graphics", "html layout");
    return false;
  }
}

}  // namespace wy
