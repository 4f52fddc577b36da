#include "graphics/html_text.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "geo/utf.h"
#include "platform/log.h"

namespace wy {
namespace {

// A canvas that logs every text it draws: the text, its position (x and
// baseline) and the font it is drawn with.
class TLoggingCanvas : public TWyCanvas {
 public:
  struct TDraw {
    std::string text;
    int x;
    int baseline;
    std::string style;  // "b", "i", "u", "s" in that order
    TColor color;
    int pixels;  // font size in pixels
  };

  TLoggingCanvas() { SetSize(400, 400); }

  void TextOut(int x, int y, const std::string& text) override {
    const QFont& f = Font();
    std::string style;
    if (f.bold()) style += 'b';
    if (f.italic()) style += 'i';
    if (f.underline()) style += 'u';
    if (f.strikeOut()) style += 's';
    const int pixels =
        f.pixelSize() > 0 ? f.pixelSize() : static_cast<int>(std::lround(f.pointSizeF() * 96 / 72));
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
    draws.push_back({text, x, y + QFontMetrics(f, &device).ascent(), style, FontColor(), pixels});
    TWyCanvas::TextOut(x, y, text);
  }

  std::vector<TDraw> draws;
};

std::string DrawText(const TLoggingCanvas::TDraw& d) {
  char color[16];
  std::snprintf(color, sizeof color, "%06X", d.color);
  return d.text + "|" + std::to_string(d.x) + "|" + std::to_string(d.baseline) + "|" + d.style +
         "|" + color + "|" + std::to_string(d.pixels);
}

// The expected form of a drawn text (base font: 11 pixels, black).
std::string D(const std::string& text, int x, int baseline, const std::string& style = "",
              TColor color = 0, int pixels = 11) {
  return DrawText({text, x, baseline, style, color, pixels});
}

// Font measurements the expectations are written in.
struct TMetrics {
  QImage device;
  TMetrics() : device(1, 1, QImage::Format_ARGB32_Premultiplied) {
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
  }
  QFont Font(int pixels, bool bold) const {
    QFont f(QStringLiteral("DejaVu Sans"));
    if (pixels == 0)
      f.setPointSize(8);
    else
      f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
  }
  // Width of a text and line height, in the base font unless told.
  int W(const std::string& s, bool bold = false, int pixels = 0) const {
    return QFontMetrics(Font(pixels, bold), &device)
        .horizontalAdvance(QString::fromUtf8(s.c_str()));
  }
  int H(int pixels = 0, bool bold = false) const {
    return QFontMetrics(Font(pixels, bold), &device).height();
  }
};

// The image callback of the tests: a pool of named images and a log.
struct TCallbacks {
  std::map<std::string, QImage> images;
  std::vector<std::string> log;

  TCallbacks() {
    QImage red(20, 10, QImage::Format_ARGB32_Premultiplied);
    red.fill(qRgb(255, 0, 0));
    images["Red.png"] = red;
  }
  TGetDrawGraphic Graphic() {
    return [this](const std::string& name, const QImage*& gfx, int x, int y, int& l, int& h) {
      log.push_back("img " + name + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(l) + " " + std::to_string(h));
      const auto it = images.find(name);
      gfx = it == images.end() ? nullptr : &it->second;
      if (gfx && x == -1) {
        l = gfx->width();
        h = gfx->height();
      }
    };
  }
  TGetAreaAnchor Area() {
    return [this](int x, int y, int l, int h, const std::string& url) {
      log.push_back("area " + std::to_string(x) + " " + std::to_string(y) + " " +
                    std::to_string(l) + " " + std::to_string(h) + " " + url);
    };
  }
};

std::string Img(const std::string& name, int x, int y, int l, int h) {
  return "img " + name + " " + std::to_string(x) + " " + std::to_string(y) + " " +
         std::to_string(l) + " " + std::to_string(h);
}
std::string Area(int x, int y, int l, int h, const std::string& url) {
  return "area " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(l) + " " +
         std::to_string(h) + " " + url;
}

// A box of the picture that must (or must not) hold a pixel near `rgb`.
struct TProbe {
  QRect box;
  QRgb rgb;
  bool present;
};

bool BoxHas(const QImage& image, const QRect& box, QRgb rgb) {
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) {
      if (!image.rect().contains(x, y)) continue;
      const QRgb p = image.pixel(x, y);
      if (std::abs(qRed(p) - qRed(rgb)) < 60 && std::abs(qGreen(p) - qGreen(rgb)) < 60 &&
          std::abs(qBlue(p) - qBlue(rgb)) < 60)
        return true;
    }
  return false;
}

struct TExpect {
  TExpect(int right_edge, int bottom_passed, std::optional<std::vector<std::string>> token_list,
          int bottom_out, bool fits = true, std::vector<std::string> drawn = {})
      : right(right_edge),
        bottom_in(bottom_passed),
        tokens(std::move(token_list)),
        bottom(bottom_out),
        result(fits),
        draws(std::move(drawn)) {}
  int right;  // the rectangle's right edge
  int bottom_in;
  std::optional<std::vector<std::string>> tokens;
  int bottom;
  bool result;
  std::vector<std::string> draws;  // as D() writes them
  std::vector<std::string> log;    // image and link callbacks, in order
  std::vector<TProbe> probes;
};

struct TLayoutCase {
  const char* name;
  std::string html;
  uint32_t flags;
  int left;
  TExpect (*expect)(const TMetrics& m);
};

using Tokens = std::vector<std::string>;
constexpr int kTop = 40;
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlack = qRgb(0, 0, 0);

const TLayoutCase kLayoutCases[] = {
    {"empty text", "", 0, 0,
     [](const TMetrics&) {
       return TExpect{300, 300, Tokens{}, kTop};
     }},
    {"blank text draws nothing", "  \r\n\t ", 0, 0,
     [](const TMetrics&) {
       return TExpect{300, 300, std::nullopt, kTop};
     }},
    {"bold word keeps its blank", "Hello <b>big </b>world", 0, 0,
     [](const TMetrics& m) {
       const int x2 = 10 + m.W("Hello ");
       return TExpect{300,
                      300,
                      Tokens{"Hello ", "<b>", "big ", "</b>", "world"},
                      kTop + m.H(),
                      true,
                      {D("Hello ", 10, kTop), D("big ", x2, kTop, "b"),
                       D("world", x2 + m.W("big ", true), kTop)}};
     }},
    {"line feeds give lines of the base height", "one\ntwo\r\nthree", 0, 0,
     [](const TMetrics& m) {
       return TExpect{
           300,
           300,
           Tokens{"one", "<br>", "two", "<br>", "three"},
           kTop + 3 * m.H(),
           true,
           {D("one", 10, kTop), D("two", 10, kTop + m.H()), D("three", 10, kTop + 2 * m.H())}};
     }},
    {"text taller than the rectangle does not fit", "one\ntwo\nthree", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, kTop + 2 * m.H(), std::nullopt, kTop + 3 * m.H(), false};
       e.draws = {D("one", 10, kTop), D("two", 10, kTop + m.H()), D("three", 10, kTop + 2 * m.H())};
       return e;
     }},
    {"heading starts an empty line and breaks after", "<h1>T</h1>x", 0, 0,
     [](const TMetrics& m) {
       const int hh = m.H(27, true);  // 20 points at 96 dpi
       return TExpect{300,
                      300,
                      Tokens{"<h1>", "T", "</h1>", "<br>", "x"},
                      kTop + 2 * hh + 2 * m.H(),
                      true,
                      {D("T", 10, kTop + 2 * hh, "b", 0, 27), D("x", 10, kTop + 2 * hh + m.H())}};
     }},
    {"font colours: #RRGGBB, anything else black",
     "<font color=\"#FF0000\">red</font> <font color=blue>blk</font>", 0, 0,
     [](const TMetrics& m) {
       const int x2 = 10 + m.W("red");
       const int x3 = x2 + m.W(" ");
       TExpect e{300, 300, std::nullopt, kTop + m.H()};
       e.draws = {D("red", 10, kTop, "", 0x0000FF), D(" ", x2, kTop), D("blk", x3, kTop)};
       const QRect red(10, kTop - 10, m.W("red"), 12);
       const QRect blk(x3, kTop - 10, m.W("blk"), 12);
       e.probes = {{red, kRed, true}, {blk, kRed, false}, {blk, kBlack, true}};
       return e;
     }},
    {"paragraph, self-closed break and rule do not break", "a<p>b<br/>c<hr>d", 0, 0,
     [](const TMetrics& m) {
       const int xb = 10 + m.W("a");
       const int xc = xb + m.W("b");
       return TExpect{
           300,
           300,
           Tokens{"a", "<p>", "b", "<br/>", "c", "<hr>", "d"},
           kTop + m.H(),
           true,
           {D("a", 10, kTop), D("b", xb, kTop), D("c", xc, kTop), D("d", xc + m.W("c"), kTop)}};
     }},
    {"a closing html tag counts as a heading end", "a</html>b", 0, 0,
     [](const TMetrics& m) {
       return TExpect{300,
                      300,
                      Tokens{"a", "</html>", "<br>", "b"},
                      kTop + 2 * m.H(),
                      true,
                      {D("a", 10, kTop), D("b", 10, kTop + m.H())}};
     }},
    {"link and image: areas and images while drawing",
     "<a href=\"http://Ex.org/A_B\">go</a> <img src=\"Red.png\">", 0, 0,
     [](const TMetrics& m) {
       // The 20 x 10 image puts the first baseline 10 + 4 below the top.
       const int y = kTop + 14;
       const int ximg = 10 + m.W("go") + m.W(" ");
       TExpect e{300, 300, std::nullopt, y + m.H()};
       e.draws = {D("go", 10, y, "u"), D(" ", 10 + m.W("go"), y)};
       // Size query while measuring; area, size query and drawing while
       // drawing.
       e.log = {Img("Red.png", -1, -1, 0, 0),
                Area(10, y - m.H(), m.W("go"), m.H(), "http://Ex.org/A_B"),
                Img("Red.png", -1, -1, 0, 0), Img("Red.png", ximg, y - 10, 20, 10)};
       e.probes = {{QRect(ximg + 2, y - 8, 16, 6), kRed, true},
                   {QRect(ximg + 22, y - 8, 10, 6), kRed, false}};
       return e;
     }},
    {"measuring only: no drawing, no areas, same bottom",
     "<a href=\"http://Ex.org/A_B\">go</a> <img src=\"Red.png\">", ckqMeasureOnly, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + 14 + m.H()};
       e.log = {Img("Red.png", -1, -1, 0, 0)};
       e.probes = {{QRect(0, 0, 300, 100), kRed, false}};
       return e;
     }},
    {"image without size and without graphic takes 32 x 32", "a\n<img src=\"Missing.png\">", 0, 0,
     [](const TMetrics&) {
       TExpect e{300, 300, std::nullopt, kTop + 36 + 32};
       e.draws = {D("a", 10, kTop)};
       e.log = {Img("Missing.png", -1, -1, 0, 0), Img("Missing.png", -1, -1, 0, 0),
                Img("Missing.png", 10, kTop + 4, 32, 32)};
       e.probes = {{QRect(12, kTop + 6, 28, 28), kBlack, false}};
       return e;
     }},
    {"image with its size is stretched, not asked for its size",
     "<img src=\"Red.png\" width=40 height=20>", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + 24 + std::max(20, m.H())};
       e.log = {Img("Red.png", 10, kTop + 4, 40, 20)};
       e.probes = {{QRect(46, kTop + 20, 3, 3), kRed, true},
                   {QRect(51, kTop + 10, 3, 3), kRed, false}};
       return e;
     }},
    {"image wider than the line is shrunk, then a break",
     "<img src=\"Red.png\" width=500 height=10>x", 0, 0,
     [](const TMetrics& m) {
       // 300 - 10 - 5 pixels wide, then a break.
       TExpect e{300, 300, Tokens{"<img src=\"Red.png\" width=500 height=10>", "<br>", "x"},
                 kTop + 14 + 2 * m.H(), true};
       e.draws = {D("x", 10, kTop + 14 + m.H())};
       e.log = {Img("Red.png", 10, kTop + 4, 285, 10)};
       return e;
     }},
    {"image in a rectangle narrower than the indent keeps a width", "<img src=\"Red.png\">", 0, 0,
     [](const TMetrics& m) {
       TExpect e{5, 300, std::nullopt, kTop + 14 + m.H()};
       e.log = {Img("Red.png", -1, -1, 0, 0), Img("Red.png", -1, -1, 0, 0),
                Img("Red.png", 10, kTop + 4, 1, 10)};
       return e;
     }},
    {"wrapped link is reported piece by piece", "<a href=\"http://X.org/Path\">one two three</a>",
     0, 0,
     [](const TMetrics& m) {
       const std::string open = "<a href=\"http://X.org/Path\">";
       TExpect e{10 + m.W("one ") + m.W("two ") + 2, 300,
                 Tokens{open, "one ", "two ", "</a>", open, "three", "</a>"}, kTop + 2 * m.H()};
       e.draws = {D("one ", 10, kTop, "u"), D("two ", 10 + m.W("one "), kTop, "u"),
                  D("three", 10, kTop + m.H(), "u")};
       e.log = {Area(10, kTop - m.H(), m.W("one ") + m.W("two "), m.H(), "http://X.org/Path"),
                Area(10, kTop, m.W("three"), m.H(), "http://X.org/Path")};
       return e;
     }},
    {"break inside a link closes and reopens it", "<a href=u>x<br>y\nz</a>", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300,
                 Tokens{"<a href=u>", "x", "</a>", "<br>", "<a href=u>", "y", "</a>", "<br>",
                        "<a href=u>", "z", "</a>"},
                 kTop + 3 * m.H()};
       e.log = {Area(10, kTop - m.H(), m.W("x"), m.H(), "u"), Area(10, kTop, m.W("y"), m.H(), "u"),
                Area(10, kTop + m.H(), m.W("z"), m.H(), "u")};
       return e;
     }},
    {"upper-case break in a link opened mid-line: closed and reopened around it",
     "ab <a href=u>x<BR>y</a>", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, Tokens{"ab ", "<a href=u>", "x", "</a>", "<BR>", "<a href=u>", "y", "</a>"},
                 kTop + 2 * m.H()};
       e.draws = {D("ab ", 10, kTop), D("x", 10 + m.W("ab "), kTop, "u"),
                  D("y", 10, kTop + m.H(), "u")};
       // Each line its own piece: one area from the first line to the
       // second had the width of "y" less "ab ", below zero.
       e.log = {Area(10 + m.W("ab "), kTop - m.H(), m.W("x"), m.H(), "u"),
                Area(10, kTop, m.W("y"), m.H(), "u")};
       return e;
     }},
    {"a tab back inside a link: the area spans all the link drew", "ab <a href=u>abc<tab=2>x</a>",
     0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + m.H()};
       // The tab stop is 2 pixels from the rectangle's left edge (0); the
       // text starts at the indent (10).
       e.log = {Area(2, kTop - m.H(), 8 + m.W("ab ") + m.W("abc"), m.H(), "u")};
       return e;
     }},
    {"a stray </a> reports no area", "<a href=u>x</a> y</a>", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + m.H()};
       e.log = {Area(10, kTop - m.H(), m.W("x"), m.H(), "u")};
       return e;
     }},
    {"blanks, carriage returns and an unclosed tag", "a  b\r\nx <font size=30", 0, 0,
     [](const TMetrics& m) {
       const int xb = 10 + m.W("a ") + m.W(" ");
       const int xf = 10 + m.W("x ");
       TExpect e{300, 300, Tokens{"a ", " ", "b", "<br>", "x ", "<font ", "size=30"},
                 kTop + 2 * m.H()};
       e.draws = {D("a ", 10, kTop),
                  D(" ", 10 + m.W("a "), kTop),
                  D("b", xb, kTop),
                  D("x ", 10, kTop + m.H()),
                  D("<font ", xf, kTop + m.H()),
                  D("size=30", xf + m.W("<font "), kTop + m.H())};
       return e;
     }},
    {"plain text shows tags as words", "<plaintext><b>x</plaintext><b>y", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + m.H()};
       e.draws = {D("<b>", 10, kTop), D("x", 10 + m.W("<b>"), kTop),
                  D("y", 10 + m.W("<b>") + m.W("x"), kTop, "b")};
       return e;
     }},
    {"rectangle narrower than the indent: one character per line", "Hello world", 0, 0,
     [](const TMetrics& m) {
       TExpect e{5, 300, Tokens{"H", "e", "l", "l", "o", " ", "w", "o", "r", "l", "d"},
                 kTop + 11 * m.H(), true};
       return e;
     }},
    {"zero-width rectangle", "ab", 0, 50,
     [](const TMetrics& m) {
       TExpect e{50, 300, Tokens{"a", "b"}, kTop + 2 * m.H()};
       e.draws = {D("a", 60, kTop), D("b", 60, kTop + m.H())};
       return e;
     }},
    {"negative-width rectangle, multi-byte characters kept whole",
     "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x", 0, 50,
     [](const TMetrics& m) {
       return TExpect{20, 300, Tokens{"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "x"},
                      kTop + 4 * m.H()};
     }},
    {"right-aligned line", "ab", ckqAlignRight, 0,
     [](const TMetrics& m) {
       TExpect e{200, 300, std::nullopt, kTop + m.H()};
       e.draws = {D("ab", 200 - m.W("ab"), kTop)};
       return e;
     }},
    {"centred line", "ab", ckqAlignCenter, 0,
     [](const TMetrics& m) {
       TExpect e{200, 300, std::nullopt, kTop + m.H()};
       e.draws = {D("ab", 10 + (200 - 10 - m.W("ab")) / 2, kTop)};
       return e;
     }},
    {"hanging first word drawn in the margin and removed", "1. First item", ckqHangingFirstWord, 40,
     [](const TMetrics& m) {
       TExpect e{300, 300, Tokens{"First ", "item"}, kTop + m.H()};
       e.draws = {D("1.", 40 - m.W("1."), kTop), D("First ", 50, kTop),
                  D("item", 50 + m.W("First "), kTop)};
       return e;
     }},
    {"line height follows the tallest word", "a\n<font size=20>B</font>", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + 2 * m.H(27)};
       e.draws = {D("a", 10, kTop), D("B", 10, kTop + m.H(27), "", 0, 27)};
       return e;
     }},
    {"fixed line height", "a\n<font size=20>B</font>", ckqFixedLineHeight, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + m.H() + m.H(27)};
       e.draws = {D("a", 10, kTop), D("B", 10, kTop + m.H(), "", 0, 27)};
       return e;
     }},
    {"tab stop moves the pen", "a<tab=100>b", 0, 0,
     [](const TMetrics& m) {
       TExpect e{300, 300, std::nullopt, kTop + m.H()};
       e.draws = {D("a", 10, kTop), D("b", 100, kTop)};
       return e;
     }},
};

TEST(HtmlTextTest, LaysOutTheTableOfTexts) {
  const TMetrics m;
  ASSERT_EQ(m.H(), QFontMetrics(TLoggingCanvas().Font(), &m.device).height());
  for (const auto& c : kLayoutCases) {
    SCOPED_TRACE(c.name);
    const TExpect e = c.expect(m);
    TLoggingCanvas canvas;
    TCallbacks callbacks;
    TkqHTMLText engine(c.html);
    TRect rect{c.left, kTop, e.right, e.bottom_in};
    const bool result =
        engine.Layout(canvas, rect, c.flags, 1.0, 10, 10, callbacks.Graphic(), callbacks.Area());
    EXPECT_EQ(result, e.result);
    EXPECT_EQ(rect.Left, c.left);
    EXPECT_EQ(rect.Top, kTop);
    EXPECT_EQ(rect.Right, e.right);
    EXPECT_EQ(rect.Bottom, e.bottom);
    if (e.tokens) {
      EXPECT_EQ(engine.WordTagList(), *e.tokens);
    }
    std::vector<std::string> draws;
    for (const auto& d : canvas.draws) draws.push_back(DrawText(d));
    // Only the texts the case names are compared when it names none.
    if (!e.draws.empty() || (c.flags & ckqMeasureOnly) || c.html.empty()) {
      EXPECT_EQ(draws, e.draws);
    }
    EXPECT_EQ(callbacks.log, e.log);
    const QImage& image = canvas.Bitmap();
    for (const auto& p : e.probes)
      EXPECT_EQ(BoxHas(image, p.box, p.rgb), p.present)
          << "box " << p.box.x() << "," << p.box.y() << " " << p.box.width() << "x"
          << p.box.height();
  }
}

// An image callback that throws ends the layout: reported as not fitting,
// logged, and the canvas gets its font back.
TEST(HtmlTextTest, AnErrorInACallbackIsLoggedAndTheCanvasRestored) {
  TLoggingCanvas canvas;
  const QFont font = canvas.Font();
  TScopedLogCapture log(llWarning);
  TRect rect{0, kTop, 300, 300};
  const TGetDrawGraphic failing = [](const std::string&, const QImage*&, int, int, int&, int&) {
    throw std::runtime_error("no memory for the image");
  };
  EXPECT_FALSE(
      DrawHTMLText(canvas, "<b>a <img src=x.png></b>", rect, 0, 1.0, 10, 10, failing, nullptr));
  EXPECT_TRUE(log.Contains("graphics", "no memory for the image"));
  EXPECT_EQ(canvas.Font(), font);
}

TEST(HtmlTextTest, IndentsAndLeadingShapeTheLines) {
  const TMetrics m;
  TLoggingCanvas canvas;
  TRect rect{0, kTop, 300, 300};
  EXPECT_TRUE(DrawHTMLText(canvas, "first\nsecond", rect, 0, 1.5, 30, 5, nullptr, nullptr));
  const int second = kTop + static_cast<int>(std::lround(m.H() * 1.5));
  ASSERT_EQ(canvas.draws.size(), 2u);
  EXPECT_EQ(DrawText(canvas.draws[0]), D("first", 30, kTop));
  EXPECT_EQ(DrawText(canvas.draws[1]), D("second", 5, second));
  // The fixed line height (the base height times the leading) is the last
  // line's height.
  EXPECT_EQ(rect.Bottom, second + static_cast<int>(std::lround(m.H() * 1.5)));
}

TEST(HtmlTextTest, CanvasDrawHtmlUsesTheEngineAndRestoresTheCanvas) {
  TLoggingCanvas canvas;
  canvas.SetFontColor(0x00FF00);
  const QFont font = canvas.Font();
  const QBrush brush = canvas.Brush();
  TRect rect{0, kTop, 300, 60};
  const bool result =
      canvas.DrawHTML("<font size=30 color=#0000FF face=Serif width=150><b><i>big</i></b> <h2>x",
                      rect, 0, nullptr, nullptr);
  EXPECT_FALSE(result);  // three lines do not fit in 20 pixels
  EXPECT_GT(rect.Bottom, 60);
  EXPECT_EQ(canvas.Font(), font);
  EXPECT_EQ(canvas.FontColor(), 0x00FF00u);
  EXPECT_EQ(canvas.Brush(), brush);
  ASSERT_FALSE(canvas.draws.empty());
  EXPECT_EQ(canvas.draws[0].text, "big");
  EXPECT_EQ(canvas.draws[0].color, 0xFF0000u);  // blue
  EXPECT_EQ(canvas.draws[0].pixels, 40);        // 30 points
  EXPECT_EQ(canvas.draws[0].style, "bi");
  // Text is drawn without a box: a pixel between letters stays white.
  TRect small{0, kTop, 300, 300};
  TWyCanvas plain;
  plain.SetBrushColor(0x00FF00);
  plain.DrawHTML("i i", small, 0, nullptr, nullptr);
  EXPECT_FALSE(BoxHas(plain.Bitmap(), QRect(0, kTop - 12, 60, 14), qRgb(0, 255, 0)));
}

TEST(HtmlTextTest, FontWidthPercentAndPointSize) {
  QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
  device.setDotsPerMeterX(3780);
  device.setDotsPerMeterY(3780);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(20);
  EXPECT_EQ(SetFontWidthPercent(font, -1), 100);
  const int normal = QFontMetrics(font, &device).horizontalAdvance(QStringLiteral("mmmm"));
  EXPECT_EQ(SetFontWidthPercent(font, 200), 200);
  EXPECT_EQ(SetFontWidthPercent(font, -1), 200);
  EXPECT_GT(QFontMetrics(font, &device).horizontalAdvance(QStringLiteral("mmmm")), normal * 3 / 2);
  EXPECT_EQ(SetFontWidthPercent(font, 0), 100);
  EXPECT_EQ(SetFontWidthPercent(font, 1000000), 4000);

  const struct {
    double points;
    int pixels;
  } sizes[] = {{8, 11}, {20, 27}, {7.5, 10}, {1e9, kMaxHtmlFontPixels}, {-5, 1}, {NAN, 1}};
  for (const auto& s : sizes) {
    SetFontPointSize(font, s.points, 96);
    EXPECT_EQ(font.pixelSize(), s.pixels) << s.points;
  }
}

TEST(HtmlTextTest, EngineIsLaidOutOnce) {
  TLoggingCanvas canvas;
  TkqHTMLText engine("one two");
  TRect rect{0, kTop, 300, 300};
  EXPECT_TRUE(engine.Layout(canvas, rect, 0, 1, 10, 10, nullptr, nullptr));
  const auto tokens = engine.WordTagList();
  canvas.draws.clear();
  EXPECT_FALSE(engine.Layout(canvas, rect, 0, 1, 10, 10, nullptr, nullptr));
  EXPECT_TRUE(canvas.draws.empty());
  EXPECT_EQ(engine.WordTagList(), tokens);
}

// Over-long words are cut so that each piece but a lone character ends
// before the right edge, pieces are never empty, and no cut falls inside a
// UTF-8 sequence (invalid bytes count as characters of their own).
TEST(HtmlTextTest, LongWordsAreCutBetweenCharacters) {
  const TMetrics m;
  const struct {
    const char* name;
    std::string word;
    int right;
  } cases[] = {
      {"ascii", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 90},
      {"wide and narrow letters", "WWWWWWWWWWiiiiiiiiiiiiiiiiiiiiWWWWWWWWWWiiiiiiiii", 70},
      {"two-byte letters",
       "\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB\xC3\xA0\xC3\xA2\xC3\xA7\xC3\xB4"
       "\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB\xC3\xA0\xC3\xA2\xC3\xA7\xC3\xB4",
       50},
      {"four-byte emoji",
       "\xF0\x9F\x98\x80\xF0\x9F\x98\x81\xF0\x9F\x98\x82\xF0\x9F\x98\x83"
       "\xF0\x9F\x98\x84\xF0\x9F\x98\x85\xF0\x9F\x98\x86",
       40},
      {"invalid bytes", "ab\xFF\xFE\xC3(\xE2\x82xyz\x80\x80\xF0\x9F\x98qrstuvw", 40},
      {"narrower than the indent", "abcdef\xC3\xA9\xE2\x82\xAC", 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoggingCanvas canvas;
    TkqHTMLText engine(c.word);
    TRect rect{0, kTop, c.right, 1000};
    engine.Layout(canvas, rect, 0, 1, 10, 10, nullptr, nullptr);
    const auto tokens = engine.WordTagList();
    std::string joined;
    for (const auto& t : tokens) {
      ASSERT_FALSE(t.empty());
      joined += t;
      size_t pos = 0;
      size_t chars = 0;
      // Decoding the piece on its own gives the same characters as in the
      // word: it starts and ends on character boundaries.
      while (pos < t.size()) {
        DecodeUtf8(t, pos);
        ++chars;
      }
      if (chars > 1) {
        EXPECT_LE(10 + m.W(t), c.right) << t;
      }
    }
    EXPECT_EQ(joined, c.word);
    EXPECT_GT(tokens.size(), 1u);
    EXPECT_EQ(rect.Bottom, kTop + static_cast<int>(tokens.size()) * m.H());
    // Piece boundaries fall on the boundaries of the whole word's decoding.
    std::vector<size_t> bounds;
    for (size_t pos = 0; pos < c.word.size();) {
      DecodeUtf8(c.word, pos);
      bounds.push_back(pos);
    }
    size_t at = 0;
    for (const auto& t : tokens) {
      at += t.size();
      EXPECT_NE(std::find(bounds.begin(), bounds.end(), at), bounds.end()) << at;
    }
  }
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// Content from files and services is untrusted: whatever it holds, the
// layout ends after work proportional to its tokens, font and image sizes
// stay bounded, and the canvas is left as it was.
TEST(HtmlTextTest, HostileContentEndsAndStaysBounded) {
  std::string mixed;
  for (int i = 0; mixed.size() < (1u << 20); ++i)
    mixed +=
        "word" + std::to_string(i) + (i % 7 ? " " : "\n") +
        (i % 50 == 0 ? "<b><a href=\"http://x/" + std::to_string(i) + "\">link</a></b> " : "") +
        (i % 97 == 0 ? "<img src=\"Red.png\"> " : "");
  const struct {
    const char* name;
    std::string html;
    int right;
    uint32_t flags;
  } cases[] = {
      {"huge font size", "<font size=99999999>Big</font> <font size=1e308>B</font>x", 180, 0},
      {"unreadable font sizes", "<font size=nan>a</font><font size=-1e308>b</font>", 180, 0},
      {"huge and negative image sizes",
       "<img src=a width=2147483647 height=2147483647><img src=b width=-9 height=-9>"
       "<img src=\"Red.png\" width=99999999999>",
       180, 0},
      {"thousands of unclosed nested tags",
       Repeat("<b><i><u><s><font size=30 color=#FF00FF width=300><a href=x>", 3000) + "text", 180,
       0},
      {"thousands of headings and heading ends", Repeat("<h1>a</h2></h3>", 3000), 180, 0},
      {"thousands of links wrapping", Repeat("<a href=\"u\">aa bb cc dd ", 3000), 60, 0},
      {"a megabyte of mixed content", mixed, 180, 0},
      {"a megabyte of mixed content, measured", mixed, 180, ckqMeasureOnly},
      {"a word of 256 KB", std::string(1u << 18, 'w'), 180, 0},
      {"a long word in a rectangle narrower than the indent", std::string(1u << 14, 'w'), 4, 0},
      {"a megabyte of blanks and breaks", Repeat(" \n<br>", 1u << 17), 180, 0},
      {"unclosed tag", "abc <font size=30 color=red" + std::string(1000, 'x'), 180, 0},
      {"control characters",
       std::string("a\x01\x02\t\x7f\x1b[31m b", 11) + std::string(1, '\0') + "c\x0b\x0c<b\x00>d",
       180, 0},
      {"invalid UTF-8", "\xFF\xFE\xC3( \xE2\x82 \xF0\x9F\x98 " + std::string(3000, '\x80'), 180, 0},
      {"hanging first word in a narrow rectangle", "\xC3\xA9t\xC3\xA9 x y z", 0,
       ckqHangingFirstWord | ckqAlignCenter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoggingCanvas canvas;
    canvas.SetSize(240, 400);
    const QFont font = canvas.Font();
    TCallbacks callbacks;
    std::vector<std::pair<int, int>> image_sizes;
    const TGetDrawGraphic graphic = [&](const std::string& name, const QImage*& gfx, int x, int y,
                                        int& l, int& h) {
      callbacks.Graphic()(name, gfx, x, y, l, h);
      if (x != -1) image_sizes.emplace_back(l, h);
    };
    TkqHTMLText engine(c.html);
    TRect rect{0, kTop, c.right, 300};
    engine.Layout(canvas, rect, c.flags, 1.0, 10, 10, graphic, callbacks.Area());
    const int64_t tokens = static_cast<int64_t>(engine.WordTagList().size());
    // Each token is classified once to measure, once to draw, and at most
    // once more when it opens the next line.
    EXPECT_LE(engine.Steps(), 3 * tokens + 2 * engine.Lines() + 8);
    EXPECT_LE(engine.Lines(), tokens + 1);
    EXPECT_GE(rect.Bottom, kTop);
    for (const auto& d : canvas.draws) EXPECT_LE(d.pixels, kMaxHtmlFontPixels);
    for (const auto& s : image_sizes) {
      EXPECT_GE(s.first, 1);
      EXPECT_LE(s.first, kMaxHtmlImageSide);
      EXPECT_LE(s.second, kMaxHtmlImageSide);
    }
    EXPECT_EQ(canvas.Font(), font);
  }
}

// Imported descriptions bring hostile shapes of content: whatever the shape,
// doubling the text roughly doubles the work of laying it out (characters
// scanned, copied and measured), and nothing is cut.
TEST(HtmlTextTest, LayoutWorkGrowsLinearlyForEveryHostileShape) {
  const struct {
    const char* name;
    std::string (*html)(size_t n);
  } shapes[] = {
      {"a long word", [](size_t n) { return std::string(n, 'w'); }},
      {"a long tag in plain text",
       [](size_t n) { return "<plaintext><" + std::string(n, 'x') + ">"; }},
      {"a long tag with blanks in plain text",
       [](size_t n) { return "<plaintext><a href=" + Repeat("xy ", n / 3) + ">"; }},
      {"plain text of short tags and words",
       [](size_t n) { return "<plaintext>" + Repeat("<b>x</b> ", n / 9); }},
      {"a long ignored tag, then text",
       [](size_t n) { return "<x" + std::string(n, 'y') + "> after"; }},
      {"entities without blanks", [](size_t n) { return Repeat("&amp;", n / 5); }},
      {"entities with blanks", [](size_t n) { return Repeat("&lt;b&gt; ", n / 9); }},
      {"a long link wrapping over many lines",
       [](size_t n) {
         return "<a href=\"" + std::string(n / 2, 'u') + "\">" + Repeat("ab ", n / 6) + "</a>";
       }},
      {"a long link broken by line feeds",
       [](size_t n) {
         return "<a href=" + std::string(n / 2, 'u') + ">" + Repeat("a\n", n / 4) + "</a>";
       }},
      {"a long image tag repeated on every line",
       [](size_t n) {
         return "<a <img src=" + std::string(n / 2, 's') + ">" + Repeat("a\n", n / 4) + "</a>";
       }},
      {"unclosed tags", [](size_t n) { return "<" + Repeat("a<", n / 2); }},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.name);
    int64_t work[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      const size_t n = size_t{16384} << k;
      TWyCanvas canvas;
      canvas.SetSize(240, 400);
      // Callbacks that only count: no copy of a long address per call.
      int calls = 0;
      const TGetDrawGraphic graphic = [&](const std::string&, const QImage*& gfx, int, int, int&,
                                          int&) {
        gfx = nullptr;
        ++calls;
      };
      const TGetAreaAnchor area = [&](int, int, int, int, const std::string&) { ++calls; };
      TScopedLogCapture log(llWarning);
      TkqHTMLText engine(shape.html(n));
      TRect rect{0, kTop, 180, 300};
      engine.Layout(canvas, rect, 0, 1.0, 10, 10, graphic, area);
      work[k] = engine.Work();
      EXPECT_GE(work[k], static_cast<int64_t>(n) / 2);
      EXPECT_FALSE(log.Contains("graphics", "cut")) << n;
    }
    EXPECT_LE(work[1], work[0] * 5 / 2) << work[0] << " then " << work[1];
  }
}

// A 64 KB tag inside plain text is laid out to its end: every piece of it
// gets a line of its own, and the height covers them all.
TEST(HtmlTextTest, ALongTagInPlainTextIsLaidOutWhole) {
  const TMetrics m;
  const std::string tag = "<" + std::string(65534, 'x') + ">";
  TLoggingCanvas canvas;
  TScopedLogCapture log(llWarning);
  TkqHTMLText engine("<plaintext>" + tag);
  TRect rect{0, kTop, 180, 300};
  engine.Layout(canvas, rect, ckqMeasureOnly, 1.0, 10, 10, nullptr, nullptr);
  const auto tokens = engine.WordTagList();
  ASSERT_GT(tokens.size(), 2u);
  EXPECT_EQ(tokens.front(), "<plaintext>");
  std::string joined;
  for (size_t i = 1; i < tokens.size(); ++i) joined += tokens[i];
  EXPECT_EQ(joined, tag);
  EXPECT_EQ(engine.Lines(), static_cast<int64_t>(tokens.size()) - 1);
  EXPECT_EQ(rect.Bottom, kTop + static_cast<int>(engine.Lines()) * m.H());
  EXPECT_TRUE(log.Records().empty());

  // Drawn, a shorter one shows every character, in order.
  const std::string shorter = "<" + std::string(1998, 'y') + ">";
  TLoggingCanvas tall;
  tall.SetSize(240, 1600);
  TkqHTMLText drawn("<plaintext>" + shorter);
  TRect box{0, kTop, 180, 1600};
  drawn.Layout(tall, box, 0, 1.0, 10, 10, nullptr, nullptr);
  std::string shown;
  for (const auto& d : tall.draws) shown += d.text;
  EXPECT_EQ(shown, shorter);
  EXPECT_LT(box.Bottom, 1600);
}

}  // namespace
}  // namespace wy
