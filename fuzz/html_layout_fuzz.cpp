// The mini-HTML layout of info windows and hints, drawn on a small canvas
// with every layout flag combination the first byte selects. Images are
// answered with a small picture; link areas must lie in the laid-out text.

#include <QImage>

#include "fuzz_target.h"
#include "graphics/canvas.h"
#include "graphics/html_text.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  wy::EnsureFuzzGuiApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  const std::string html = wy::FuzzText(data + 1, size - 1);
  static const QImage picture = [] {
    QImage image(12, 9, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    return image;
  }();

  uint32_t flags = 0;
  if (options & 1) flags |= wy::ckqAlignRight;
  if (options & 2) flags |= wy::ckqAlignCenter;
  if (options & 4) flags |= wy::ckqMeasureOnly;
  if (options & 8) flags |= wy::ckqFixedLineHeight;
  if (options & 16) flags |= wy::ckqHangingFirstWord;
  const double leading = (options & 32) ? 1.5 : 1.0;

  wy::TWyCanvas canvas;
  canvas.SetSize(160, 120);
  const wy::TRect given{10, 5, 150, 20};
  wy::TRect rect = given;
  wy::TGetDrawGraphic graphic = [&](const std::string& name, const QImage*& gfx, int, int, int&,
                                   int&) { gfx = (options & 64) && !name.empty() ? &picture : nullptr; };
  int anchors = 0;
  wy::TGetAreaAnchor anchor = [&](int x, int y, int l, int h, const std::string& target) {
    if (l < 0 || h < 0) {
      std::fprintf(stderr, "link \"%s\" area %d,%d %dx%d\n", target.c_str(), x, y, l, h);
      wy::FuzzFailure("a link's area has a negative size");
    }
    ++anchors;
  };
  wy::DrawHTMLText(canvas, html, rect, flags, leading, (options & 128) ? 12 : 0, 4, graphic,
                   anchor);
  WY_FUZZ_CHECK(rect.Left == given.Left && rect.Top == given.Top && rect.Right == given.Right);
  WY_FUZZ_CHECK(rect.Bottom >= rect.Top);
  return anchors < 0;
}
