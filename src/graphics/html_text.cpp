#include "graphics/html_text.h"

#include <QFontMetrics>
#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

#include "geo/text_convert.h"
#include "geo/utf.h"

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

// Lower-cases A to Z only, so that byte positions (and UTF-8) are kept.
std::string AsciiLower(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool Has(const std::string& s, const char* sub) {
  return s.find(sub) != std::string::npos;
}

bool IsBlankText(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The value of attribute `name` (such as "src=") of `tag`; the name is
// looked for in `lower`, the lower-cased tag, and the value is cut from the
// tag as written. A double-quoted value runs to the next double quote or
// ">", any other to the next blank or ">".
std::string TagAttribute(const char* name, const std::string& tag, const std::string& lower) {
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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#RRGGBB" as a colour; the first character is skipped whatever it is.
// Anything else reads as black.
TColor ParseHtmlColor(const std::string& v) {
  if (v.size() < 7) return 0;
  int d[6];
  for (int k = 0; k < 6; ++k) {
    d[k] = HexDigit(v[1 + k]);
    if (d[k] < 0) return 0;
  }
  const TColor r = static_cast<TColor>(d[0] * 16 + d[1]);
  const TColor g = static_cast<TColor>(d[2] * 16 + d[3]);
  const TColor b = static_cast<TColor>(d[4] * 16 + d[5]);
  return r | (g << 8) | (b << 16);
}

int ImageSide(const std::string& v) {
  return std::clamp(TextToIntDef(v, 0), 0, kMaxHtmlImageSide);
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

// The token list: a gap buffer, because every insertion and removal during
// layout happens at or just after the token being laid out, while the
// drawing pass reads back the tokens of the finished line.
class TTokenList {
 public:
  size_t size() const { return front_.size() + back_.size(); }
  const std::string& operator[](size_t i) const {
    return i < front_.size() ? front_[i] : back_[back_.size() - 1 - (i - front_.size())];
  }
  void PushBack(std::string s) {
    MoveGap(size());
    front_.push_back(std::move(s));
  }
  void Insert(size_t i, std::string s) {
    MoveGap(i);
    back_.push_back(std::move(s));
  }
  void Erase(size_t i) {
    MoveGap(i);
    back_.pop_back();
  }
  void Replace(size_t i, std::string s) {
    MoveGap(i);
    back_.back() = std::move(s);
  }
  std::vector<std::string> ToVector() const {
    std::vector<std::string> out(front_);
    out.insert(out.end(), back_.rbegin(), back_.rend());
    return out;
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

  std::vector<std::string> front_;
  std::vector<std::string> back_;  // reversed
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
    std::string url;
    std::string link_tag;
    double tab = 0;
  };

  explicit TImpl(const std::string& html) : blank(IsBlankText(html)) { Tokenize(html); }

  // -- tokenizing ----------------------------------------------------------

  void EmitWord(const std::string& word) {
    if (word.size() <= kMaxHtmlWordChars || CharCount(word) <= kMaxHtmlWordChars) {
      tokens.PushBack(word);
      return;
    }
    size_t pos = 0;
    while (pos < word.size()) {
      size_t end = pos;
      for (size_t k = 0; k < kMaxHtmlWordChars && end < word.size(); ++k) DecodeUtf8(word, end);
      // A lone trailing blank stays with the last piece.
      if (word.size() - end == 1 && word[end] == ' ') end = word.size();
      tokens.PushBack(word.substr(pos, end - pos));
      pos = end;
    }
  }

  void EmitBreak(const std::string& link) {
    if (link.empty()) {
      tokens.PushBack("<br>");
    } else {
      // The link is closed before the break and reopened after it, so that
      // each line reports its own piece.
      tokens.PushBack("</a>");
      tokens.PushBack("<br>");
      tokens.PushBack(link);
    }
  }

  void SplitWords(const std::string& text, size_t begin, size_t end, const std::string& link) {
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
    std::string link;
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
      std::string tag = text.substr(pos, gt + 1 - pos);
      pos = gt + 1;
      if (Has(tag, "<a "))
        link = tag;
      else if (tag == "</a>")
        link.clear();
      if (tag == "<br>" && !link.empty())
        EmitBreak(link);
      else
        tokens.PushBack(std::move(tag));
    }
  }

  // -- canvas helpers ------------------------------------------------------

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

  void ApplyFontTag(const std::string& tag, const std::string& lower) {
    QFont& font = canvas->Font();
    const std::string face = TagAttribute("face=", tag, lower);
    if (!face.empty()) {
      const QString family = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
      if (family != font.family()) font.setFamily(family);
    }
    const std::string size = TagAttribute("size=", tag, lower);
    if (!size.empty()) {
      double points = StrToFloatDot(size);
      if (!(points >= 8)) points = base_points;
      points *= leading;
      if (points != FontPoints(font, ppi)) SetFontPointSize(font, points, ppi);
    }
    const std::string color = TagAttribute("color=", tag, lower);
    if (!color.empty()) canvas->SetFontColor(ParseHtmlColor(color));
    const std::string width = TagAttribute("width=", tag, lower);
    if (!width.empty()) style.width = SetFontWidthPercent(font, TextToIntDef(width, 0));
  }

  // Reads an image tag into img_src / img_width / img_height. `x` is where
  // the image would start on the line, before alignment.
  void ParseImage(const std::string& tag, const std::string& lower, int64_t x) {
    img_src = TagAttribute("src=", tag, lower);
    int w = ImageSide(TagAttribute("width=", tag, lower));
    int h = ImageSide(TagAttribute("height=", tag, lower));
    if (draw_graphic && (w == 0 || h == 0)) {
      const QImage* gfx = nullptr;
      int l = w;
      int hh = h;
      draw_graphic(img_src, gfx, -1, -1, l, hh);
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
    const std::string tag = tokens[i];
    if (tag.empty() || tag.front() != '<' || tag.back() != '>') return tkWord;
    const std::string lower = AsciiLower(tag);
    if (Has(lower, "<plaintext>")) {
      style.plain = true;
      return tkFormat;
    }
    if (Has(lower, "</plaintext>")) {
      style.plain = false;
      return tkFormat;
    }
    if (style.plain) return tkWord;
    if (Has(lower, "<br>")) return tkLineBreak;
    if (Has(lower, "<img")) {
      ParseImage(tag, lower, x);
      return tkImage;
    }
    static const char* const kHeadings[] = {"<h1", "<h2", "<h3", "<h4", "<h5", "<h6"};
    static const int kHeadingPoints[] = {20, 15, 11, 10, 8, 7};
    for (int k = 0; k < 6; ++k) {
      if (!Has(lower, kHeadings[k])) continue;
      SaveFont();
      QFont& font = canvas->Font();
      if (FontPoints(font, ppi) != kHeadingPoints[k])
        SetFontPointSize(font, kHeadingPoints[k], ppi);
      font.setBold(true);
      return tkLineBreak;
    }
    if (Has(lower, "</h")) {
      RestoreFont();
      tag_break = true;
      return tkFormat;
    }
    if (Has(lower, "<a ")) {
      style.tag_a = true;
      canvas->Font().setUnderline(true);
      // Read as written: the path of a URL is case-sensitive.
      style.url = TagAttribute("href=", tag, lower);
      style.link_tag = tag;
      a_x = pen_x;
      a_y = this_line_y;
      return tkFormat;
    }
    if (Has(lower, "</a>")) {
      style.tag_a = false;
      canvas->Font().setUnderline(false);
      // Reported from the drawing pass only: the measuring pass has no pen
      // position yet and would report every area a second time.
      if (drawing) {
        const int64_t l = pen_x - a_x;
        const int64_t h = max_height;
        a_y -= h;
        if (area_anchor) area_anchor(ToInt(a_x), ToInt(a_y), ToInt(l), ToInt(h), style.url);
      }
      return tkFormat;
    }
    static const struct {
      const char* open;
      const char* close;
      void (QFont::*set)(bool);
    } kStyles[] = {{"<b>", "</b>", &QFont::setBold},
                   {"<i>", "</i>", &QFont::setItalic},
                   {"<u>", "</u>", &QFont::setUnderline},
                   {"<s>", "</s>", &QFont::setStrikeOut}};
    for (const auto& s : kStyles) {
      if (Has(lower, s.open)) {
        (canvas->Font().*s.set)(true);
        return tkFormat;
      }
      if (Has(lower, s.close)) {
        (canvas->Font().*s.set)(false);
        return tkFormat;
      }
    }
    if (Has(lower, "<font")) {
      SaveFont();
      ApplyFontTag(tag, lower);
      return tkFormat;
    }
    if (Has(lower, "</font>")) {
      RestoreFont();
      return tkFormat;
    }
    if (Has(lower, "<tab=")) {
      const double t = StrToFloatDot(TagAttribute("tab=", tag, lower));
      if (t > 0 && t < rect.Right) style.tab = t;
      return tkTab;
    }
    if (lower.find('>') >= 2) return tkIgnored;
    return tkWord;
  }

  // -- laying out ----------------------------------------------------------

  // Number of characters of `word` to keep on a line starting at x0 so
  // that they end before the right edge: at least one, never all (an empty
  // rest is never left); 0 when the word stays whole (it fits, or it is a
  // single character). Prefixes are measured with growing then bisected
  // lengths, so a long word costs a few measurements of what fits rather
  // than a measurement of the whole word on every line.
  size_t FittingPrefix(const std::string& word, int64_t x0) {
    const size_t length = CharCount(word);
    if (length < 2) return 0;
    auto width_of = [&](size_t k) {
      return static_cast<int64_t>(canvas->TextWidth(word.substr(0, PrefixBytes(word, k))));
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
  // next token, never cutting a UTF-8 sequence).
  int64_t FirstWordWidth(size_t i, int64_t x0) {
    const std::string word = tokens[i];
    if (word.size() <= 64) {
      const int64_t width = canvas->TextWidth(word);
      if (x0 + width <= rect.Right) return width;
    }
    const size_t keep = FittingPrefix(word, x0);
    if (keep > 0) {
      const size_t cut = PrefixBytes(word, keep);
      tokens.Replace(i, word.substr(0, cut));
      tokens.Insert(i + 1, word.substr(cut));
    }
    return canvas->TextWidth(tokens[i]);
  }

  int64_t LineHeight(int64_t height) const {
    return RoundTo64(static_cast<double>(height) * leading);
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
        if (line_word_count == 0)
          this_line_y = fixed_height ? y0 + max_height : y0 + LineHeight(canvas->TextHeight("Hy"));
        line_end_idx = static_cast<int64_t>(i);
        finished = i + 1 >= tokens.size();
        break;
      }
      if (kind == tkFormat || kind == tkIgnored) {
        if (tag_break) tokens.Insert(i + 1, "<br>");
      } else if (kind == tkWord) {
        if (hanging && first_line && line_word_count == 0) {
          const std::string word = tokens[i];
          if (!measure_only) {
            std::string trimmed = word;
            while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
            while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
            const int64_t x = rect.Left - canvas->TextWidth(trimmed);
            DrawWord(x, this_line_y, trimmed, canvas->TextHeight(trimmed));
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
          width = canvas->TextWidth(tokens[i]);
          if (line_end_x + width > rect.Right) {
            // The line ends before this word. An open link is closed at the
            // end of this line and reopened on the next, so that each line
            // reports its own piece.
            if (style.tag_a && !style.plain) {
              const std::string open = style.link_tag;
              tokens.Insert(i, "</a>");
              tokens.Insert(i + 1, open);
              ++steps;
              Classify(i, false, line_end_x);
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
            this_line_y = std::max(this_line_y, y0 + LineHeight(canvas->TextHeight(tokens[i])));
        }
      } else if (kind == tkImage) {
        ++line_word_count;
        ++word_count;
        line_end_x += img_width;
        this_line_y = y0 + img_height + 4;
        max_height = std::max<int64_t>(max_height, img_height);
        if (tag_break) tokens.Insert(i + 1, "<br>");
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
        const std::string& word = tokens[j];
        const int height = canvas->TextHeight(word);
        const int64_t known = j - first < line_widths.size() ? line_widths[j - first] : -1;
        const int64_t width = known >= 0 ? known : canvas->TextWidth(word);
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
          draw_graphic(img_src, gfx, ToInt(pen_x), ToInt(top), l, h);
          if (gfx)
            canvas->StretchDraw(
                TRect{ToInt(pen_x), ToInt(top), ToInt(pen_x + img_width), ToInt(this_line_y)},
                *gfx);
        }
        pen_x += img_width;
      } else if (kind == tkTab) {
        pen_x = rect.Left + RoundTo64(style.tab);
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
    // Each line consumes at least one token or one character of a word cut
    // over several lines; this cap is a last line of defence only.
    const int64_t max_lines =
        static_cast<int64_t>(kMaxHtmlWordChars + 4) * static_cast<int64_t>(tokens.size()) + 64;
    while (!LayoutLine()) {
      ++cur_line;
      line_end_x = 0;
      line_word_count = 0;
      if (cur_line > max_lines) break;
    }
    const int64_t bottom = this_line_y + max_height;
    const bool fits = r.Bottom >= bottom;
    r.Bottom = ToInt(bottom);
    return fits;
  }

  TTokenList tokens;
  bool blank = false;
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
  std::string img_src;
  int img_width = 0;
  int img_height = 0;
  int64_t a_x = 0;
  int64_t a_y = 0;
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
  // Widths measured for the current line's words, by offset from its first
  // token (-1: not a measured word).
  std::vector<int64_t> line_widths;
};

TkqHTMLText::TkqHTMLText(const std::string& html) : impl_(std::make_unique<TImpl>(html)) {}

TkqHTMLText::~TkqHTMLText() = default;

std::vector<std::string> TkqHTMLText::WordTagList() const {
  return impl_->tokens.ToVector();
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
  } catch (const std::exception&) {
    // Out of memory on a hostile text: reported as not fitting.
    return false;
  }
}

}  // namespace wy
