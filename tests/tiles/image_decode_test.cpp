#include "tiles/image_decode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "geo/stream.h"
#include "support/image_helpers.h"

namespace wy {
namespace {

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

bool DecodePngBytes(const std::string& s, QImage& out) {
  return DecodePng(Bytes(s), s.size(), out);
}
bool DecodeJpegBytes(const std::string& s, QImage& out) {
  return DecodeJpeg(Bytes(s), s.size(), out);
}

QRgb RawPixel(const QImage& image, int x, int y) {
  return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
}

// Largest difference of any colour channel between two opaque images of the
// same size, and the mean over all channels.
struct TDiff {
  int Max = 0;
  double Mean = 0;
};
TDiff Compare(const QImage& a, const QImage& b) {
  const QImage ca = a.convertToFormat(QImage::Format_RGB32);
  const QImage cb = b.convertToFormat(QImage::Format_RGB32);
  TDiff diff;
  double sum = 0;
  for (int y = 0; y < ca.height(); ++y) {
    for (int x = 0; x < ca.width(); ++x) {
      const QRgb p = RawPixel(ca, x, y);
      const QRgb q = RawPixel(cb, x, y);
      for (int d : {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                    std::abs(qBlue(p) - qBlue(q))}) {
        diff.Max = std::max(diff.Max, d);
        sum += d;
      }
    }
  }
  diff.Mean = sum / (3.0 * ca.width() * ca.height());
  return diff;
}

// A smooth picture (gradients and a soft disc): JPEG keeps it within a few
// levels, so decoded pixels can be held to a tight tolerance.
QImage SmoothImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y,
                     qRgb(x * 255 / (width - 1), y * 255 / (height - 1),
                          (x + y) * 255 / (width + height - 2)));
    }
  }
  QPainter painter(&image);
  QRadialGradient disc(width / 2.0, height / 2.0, std::min(width, height) / 3.0);
  disc.setColorAt(0, QColor(250, 240, 30));
  disc.setColorAt(1, QColor(250, 240, 30, 0));
  painter.fillRect(image.rect(), disc);
  painter.end();
  return image;
}

// ---------------------------------------------------------------- sniffing

TEST(ImageDecodeTest, SniffsByLeadingBytes) {
  struct {
    std::string bytes;
    TStreamType expected;
  } cases[] = {
      {std::string("\x89PNG\r\n\x1a\n", 8), stPng},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), stPng},
      {std::string("\x89PNG\r\n", 6), stNone},  // signature cut short
      {std::string(" PNG\r\n\x1a\n", 8), stNone},
      {std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11), stJpeg},
      {std::string("\xFF\xD8\xFF\xE1\0\x10"
                   "Exif\0",
                   11),
       stJpeg},
      {std::string("\xFF\xD8\xFF\xDB\0\x43", 6), stJpeg},  // no APP0 marker at all
      {std::string("\xFF\xD8\xFF", 3), stJpeg},
      {std::string("\xFF\xD8", 2), stNone},
      {"GIF89a", stNone},
      {"<html><body>404</body></html>", stNone},
      {"", stNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SniffImageType(Bytes(c.bytes), c.bytes.size()), c.expected) << c.bytes;
  }
  EXPECT_EQ(SniffImageType(nullptr, 8), stNone);
}

// ---------------------------------------------------------------- PNG

struct TPngCase {
  const char* Name;
  int ColorType;
  int BitDepth;
  bool Interlaced;
  int Transparency;  // 0 none, 1 tRNS, 2 alpha channel with translucent values
};

int Channels(int colorType) {
  switch (colorType) {
    case 0:
    case 3:
      return 1;
    case 4:
      return 2;
    case 2:
      return 3;
    default:
      return 4;
  }
}

// A sample in [0, 2^depth) that varies with position and channel, hitting
// both ends of the range.
uint16_t SampleAt(int x, int y, int channel, int depth) {
  const uint32_t max = (1u << depth) - 1;
  const uint32_t h = static_cast<uint32_t>(x * 73 + y * 151 + channel * 37) * 2654435761u;
  if ((x + y + channel) % 7 == 0) return static_cast<uint16_t>(max);
  if ((x + 2 * y + channel) % 11 == 0) return 0;
  return static_cast<uint16_t>((h >> 8) & max);
}

uint8_t To8(uint32_t value, int depth) {
  switch (depth) {
    case 1:
      return static_cast<uint8_t>(value * 255);
    case 2:
      return static_cast<uint8_t>(value * 85);
    case 4:
      return static_cast<uint8_t>(value * 17);
    case 8:
      return static_cast<uint8_t>(value);
    default:
      return static_cast<uint8_t>(std::lround(value / 257.0));
  }
}

// Builds the PNG of a case and the non-premultiplied colour every pixel must
// decode to.
TPngSpec MakePngCase(const TPngCase& c, int width, int height, std::vector<QRgb>& expected) {
  TPngSpec spec;
  spec.Width = width;
  spec.Height = height;
  spec.ColorType = c.ColorType;
  spec.BitDepth = c.BitDepth;
  spec.Interlaced = c.Interlaced;
  const int channels = Channels(c.ColorType);
  const int depth = c.BitDepth;
  if (c.ColorType == 3) {
    const int entries = 1 << depth;
    for (int i = 0; i < entries; ++i) {
      spec.Palette.push_back(static_cast<uint8_t>(i * 37 + 11));
      spec.Palette.push_back(static_cast<uint8_t>(255 - i * 5));
      spec.Palette.push_back(static_cast<uint8_t>(i * 91));
    }
    if (c.Transparency == 1) {
      // Fewer tRNS entries than palette entries: the rest are opaque.
      for (int i = 0; i < std::max(1, entries / 2); ++i) {
        spec.PaletteAlpha.push_back(static_cast<uint8_t>(i == 0 ? 0 : (i * 97) % 256));
      }
    }
  } else if (c.Transparency == 1) {
    // A colour that occurs: the one of pixel (2, 3).
    spec.HasTransparentColor = true;
    for (int i = 0; i < channels; ++i) spec.TransparentColor[i] = SampleAt(2, 3, i, depth);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint16_t s[4];
      for (int ch = 0; ch < channels; ++ch) {
        s[ch] = SampleAt(x, y, ch, depth);
        spec.Samples.push_back(s[ch]);
      }
      QRgb rgba = 0;
      switch (c.ColorType) {
        case 0: {
          const int g = To8(s[0], depth);
          const bool clear = spec.HasTransparentColor && s[0] == spec.TransparentColor[0];
          rgba = qRgba(g, g, g, clear ? 0 : 255);
          break;
        }
        case 2: {
          const bool clear = spec.HasTransparentColor && s[0] == spec.TransparentColor[0] &&
                             s[1] == spec.TransparentColor[1] && s[2] == spec.TransparentColor[2];
          rgba = qRgba(To8(s[0], depth), To8(s[1], depth), To8(s[2], depth), clear ? 0 : 255);
          break;
        }
        case 3: {
          const int i = s[0];
          const int a = i < static_cast<int>(spec.PaletteAlpha.size()) ? spec.PaletteAlpha[i] : 255;
          rgba = qRgba(spec.Palette[3 * i], spec.Palette[3 * i + 1], spec.Palette[3 * i + 2], a);
          break;
        }
        case 4: {
          const int g = To8(s[0], depth);
          rgba = qRgba(g, g, g, To8(s[1], depth));
          break;
        }
        default:
          rgba = qRgba(To8(s[0], depth), To8(s[1], depth), To8(s[2], depth), To8(s[3], depth));
      }
      expected.push_back(rgba);
    }
  }
  return spec;
}

TEST(ImageDecodeTest, PngEveryColourTypeAndBitDepth) {
  const TPngCase cases[] = {
      {"grey 1", 0, 1, false, 0},
      {"grey 2", 0, 2, false, 0},
      {"grey 4", 0, 4, false, 0},
      {"grey 8", 0, 8, false, 0},
      {"grey 16", 0, 16, false, 0},
      {"grey 8 tRNS", 0, 8, false, 1},
      {"grey 2 tRNS", 0, 2, false, 1},
      {"grey 16 tRNS", 0, 16, false, 1},
      {"grey+alpha 8", 4, 8, false, 2},
      {"grey+alpha 16", 4, 16, false, 2},
      {"rgb 8", 2, 8, false, 0},
      {"rgb 16", 2, 16, false, 0},
      {"rgb 8 tRNS", 2, 8, false, 1},
      {"rgba 8", 6, 8, false, 2},
      {"rgba 16", 6, 16, false, 2},
      {"palette 1", 3, 1, false, 0},
      {"palette 2", 3, 2, false, 0},
      {"palette 4", 3, 4, false, 0},
      {"palette 8", 3, 8, false, 0},
      {"palette 4 tRNS", 3, 4, false, 1},
      {"palette 8 tRNS", 3, 8, false, 1},
      {"interlaced grey 1", 0, 1, true, 0},
      {"interlaced palette 8 tRNS", 3, 8, true, 1},
      {"interlaced rgb 8", 2, 8, true, 0},
      {"interlaced rgba 16", 6, 16, true, 2},
  };
  // Odd sizes: partial bytes at row ends, partial Adam7 blocks.
  const int width = 37;
  const int height = 19;
  for (const TPngCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<QRgb> expected;
    const std::string png = EncodePng(MakePngCase(c, width, height, expected));
    ASSERT_FALSE(png.empty());
    QImage image;
    ASSERT_TRUE(DecodePngBytes(png, image));
    ASSERT_EQ(image.size(), QSize(width, height));
    const bool translucent =
        std::any_of(expected.begin(), expected.end(), [](QRgb p) { return qAlpha(p) != 255; });
    EXPECT_EQ(image.format(),
              translucent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const QRgb want = qPremultiply(expected[y * width + x]);
        const QRgb got = RawPixel(image, x, y);
        if (got != want && ++wrong <= 3) {
          ADD_FAILURE() << "pixel " << x << "," << y << ": got " << std::hex << got << " want "
                        << want;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(ImageDecodeTest, PngOfMapTilesMatchesItsSource) {
  const QImage smooth = MapLikeImage(256, 256, 7, true);
  const QImage flat = MapLikeImage(256, 256, 8, false);
  QImage translucent = SmoothImage(256, 256).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const QRgb p = translucent.pixel(x, y);
      translucent.setPixel(x, y, qRgba(qRed(p), qGreen(p), qBlue(p), x));
    }
  }
  struct {
    const char* name;
    std::string png;
    QImage source;
    QImage::Format format;
  } cases[] = {
      {"rgb", EncodePngImage(smooth), smooth, QImage::Format_RGB32},
      {"rgba, opaque", EncodePngImage(smooth, true), smooth, QImage::Format_RGB32},
      {"palette", EncodePalettePngImage(flat), flat, QImage::Format_RGB32},
      {"rgba, translucent", EncodePngImage(translucent, true), translucent,
       QImage::Format_ARGB32_Premultiplied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.png.empty());
    QImage image;
    ASSERT_TRUE(DecodePngBytes(c.png, image));
    EXPECT_EQ(image.format(), c.format);
    EXPECT_EQ(image, c.source.convertToFormat(c.format));
  }
}

// ---------------------------------------------------------------- JPEG

TEST(ImageDecodeTest, JpegBaselineProgressiveAndGrey) {
  const QImage source = SmoothImage(61, 45);  // partial MCUs on both axes
  const QImage grey = source.convertToFormat(QImage::Format_Grayscale8);
  struct {
    const char* name;
    TJpegOptions options;
  } cases[] = {
      {"baseline 4:2:0", {}},
      {"baseline 4:4:4", {95, false, false, true, false}},
      {"progressive 4:2:0", {90, true}},
      {"progressive 4:4:4", {95, true, false, true, false}},
      {"no JFIF marker", {90, false, false, false}},
      {"grey", {90, false, true}},
      {"grey progressive", {90, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string jpeg = EncodeJpegImage(source, c.options);
    ASSERT_FALSE(jpeg.empty());
    QImage image;
    ASSERT_TRUE(DecodeJpegBytes(jpeg, image));
    ASSERT_EQ(image.size(), source.size());
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    bool opaque = true;
    bool neutral = true;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = RawPixel(image, x, y);
        opaque = opaque && qAlpha(p) == 255;
        neutral = neutral && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
      }
    }
    EXPECT_TRUE(opaque);  // RGB32 requires 0xFF in the unused byte
    EXPECT_EQ(neutral, c.options.Grey);
    const TDiff diff = Compare(image, c.options.Grey ? grey : source);
    EXPECT_LE(diff.Max, 24);
    EXPECT_LT(diff.Mean, 2.0);
  }
}

TEST(ImageDecodeTest, JpegCmykAsWrittenByAdobe) {
  struct {
    uint8_t cmyk[4];
    QRgb expected;
  } cases[] = {
      {{200, 100, 50, 255}, qRgb(200, 100, 50)},
      {{200, 100, 50, 128}, qRgb(100, 50, 25)},
      {{255, 255, 255, 0}, qRgb(0, 0, 0)},
  };
  for (const auto& c : cases) {
    const std::string jpeg = EncodeCmykJpeg(24, 16, c.cmyk);
    ASSERT_FALSE(jpeg.empty());
    QImage image;
    ASSERT_TRUE(DecodeJpegBytes(jpeg, image));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    const QRgb p = RawPixel(image, 5, 5);
    EXPECT_EQ(qAlpha(p), 255);
    EXPECT_NEAR(qRed(p), qRed(c.expected), 3);
    EXPECT_NEAR(qGreen(p), qGreen(c.expected), 3);
    EXPECT_NEAR(qBlue(p), qBlue(c.expected), 3);
  }
}

// ---------------------------------------------------------------- failures

// Wraps data in a PNG chunk with its CRC.
std::string PngChunk(const char* type, const std::string& data) {
  std::string chunk;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>(length >> shift);
  chunk.append(type, 4);
  chunk += data;
  const uint32_t crc = static_cast<uint32_t>(crc32(
      0, reinterpret_cast<const Bytef*>(chunk.data() + 4), static_cast<uInt>(4 + data.size())));
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>(crc >> shift);
  return chunk;
}

std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A PNG whose header claims width x height RGB pixels, followed by a little
// valid image data and IEND.
std::string PngWithHeader(uint32_t width, uint32_t height) {
  std::string raw(4096, '\0');
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(size);
  return std::string("\x89PNG\r\n\x1a\n", 8) +
         PngChunk("IHDR", Be32(width) + Be32(height) + std::string("\x08\x02\0\0\0", 5)) +
         PngChunk("IDAT", packed) + PngChunk("IEND", "");
}

// A JPEG with its frame header's size fields rewritten.
std::string JpegWithSize(std::string jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && static_cast<uint8_t>(jpeg[i + 1]) == 0xC0) {
      jpeg[i + 5] = static_cast<char>(height >> 8);
      jpeg[i + 6] = static_cast<char>(height);
      jpeg[i + 7] = static_cast<char>(width >> 8);
      jpeg[i + 8] = static_cast<char>(width);
      return jpeg;
    }
  }
  return {};
}

TEST(ImageDecodeTest, GarbageAndEmptyInputFail) {
  std::mt19937 random(3);
  std::string noise(2000, '\0');
  for (char& ch : noise) ch = static_cast<char>(random());
  const std::string cases[] = {
      "",
      "\x89",
      "<html><body><h1>500 Internal Server Error</h1></body></html>",
      noise,
      std::string("\x89PNG\r\n\x1a\n", 8) + noise,
      std::string("\xFF\xD8\xFF", 3) + noise,
      std::string("\xFF\xD8\xFF\xD9", 4),
      std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IEND", ""),
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    for (TStreamType fallback : {stNone, stPng, stJpeg}) {
      QImage image(4, 4, QImage::Format_RGB32);
      EXPECT_FALSE(DecodeImage(Bytes(bytes), bytes.size(), fallback, image));
      EXPECT_TRUE(image.isNull());
    }
  }
  QImage image;
  EXPECT_FALSE(DecodePng(nullptr, 100, image));
  EXPECT_FALSE(DecodeJpeg(nullptr, 100, image));
}

TEST(ImageDecodeTest, EveryTruncationFails) {
  const QImage source = MapLikeImage(24, 24, 5, true);
  TJpegOptions progressive;
  progressive.Progressive = true;
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"png", EncodePngImage(source, true)},
      {"palette png", EncodePalettePngImage(MapLikeImage(24, 24, 5, false))},
      {"interlaced png",
       [] {
         TPngCase c{"", 2, 8, true, 0};
         std::vector<QRgb> expected;
         return EncodePng(MakePngCase(c, 20, 20, expected));
       }()},
      {"jpeg", EncodeJpegImage(source)},
      {"progressive jpeg", EncodeJpegImage(source, progressive)},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    QImage image;
    ASSERT_TRUE(DecodeImage(Bytes(file.bytes), file.bytes.size(), stNone, image));
    for (size_t cut = 0; cut < file.bytes.size(); ++cut) {
      if (DecodeImage(Bytes(file.bytes), cut, stNone, image) || !image.isNull()) {
        ADD_FAILURE() << "decoded from the first " << cut << " of " << file.bytes.size()
                      << " bytes";
        break;
      }
    }
  }
}

TEST(ImageDecodeTest, DamagedPngChunksFail) {
  // Damage as a disk or a broken transfer leaves it: a flipped bit in the
  // image data, in the header, or in a CRC itself. (The chunk CRCs are what
  // catch it: zlib's own checksum is not computed.)
  const std::string png = EncodePngImage(MapLikeImage(32, 32, 2, true));
  const size_t idat = png.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  const uint32_t length =
      (static_cast<uint8_t>(png[idat - 4]) << 24) | (static_cast<uint8_t>(png[idat - 3]) << 16) |
      (static_cast<uint8_t>(png[idat - 2]) << 8) | static_cast<uint8_t>(png[idat - 1]);
  const size_t flips[] = {
      idat + 4 + length / 2,  // image data
      16 + 3,                 // IHDR width
      idat + 4 + length + 1,  // IDAT's CRC
  };
  for (size_t at : flips) {
    std::string bytes = png;
    bytes[at] ^= 0x10;
    QImage image;
    EXPECT_FALSE(DecodePngBytes(bytes, image)) << "flip at " << at;
    EXPECT_TRUE(image.isNull());
  }
}

TEST(ImageDecodeTest, SizeLimitsAreCheckedFromTheHeader) {
  // Valid files just inside and just outside the limits: one row or column
  // is cheap to encode, so the refusal can only come from the size check.
  auto greyPng = [](int width, int height) {
    TPngSpec spec;
    spec.Width = width;
    spec.Height = height;
    spec.ColorType = 0;
    spec.BitDepth = 1;
    spec.Samples.assign(static_cast<size_t>(width) * height, 1);
    return EncodePng(spec);
  };
  auto greyJpeg = [](int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return EncodeJpegImage(image);
  };
  const uint32_t side = kMaxDecodeSide;
  QImage image;
  EXPECT_TRUE(DecodePngBytes(greyPng(side, 1), image));
  EXPECT_TRUE(DecodePngBytes(greyPng(1, side), image));
  EXPECT_FALSE(DecodePngBytes(greyPng(side + 1, 1), image));
  EXPECT_FALSE(DecodePngBytes(greyPng(1, side + 1), image));
  EXPECT_TRUE(DecodeJpegBytes(greyJpeg(side, 8), image));
  EXPECT_FALSE(DecodeJpegBytes(greyJpeg(side + 1, 8), image));
  EXPECT_FALSE(DecodeJpegBytes(greyJpeg(8, side + 1), image));

  // Headers claiming absurd sizes, and one just over the pixel budget while
  // each side is allowed. Any attempt to allocate the pixels would show up
  // under the address sanitizer.
  const uint32_t overBudget = static_cast<uint32_t>(kMaxDecodePixels / side + 1);
  for (const std::string& png : {PngWithHeader(100000, 100000), PngWithHeader(side, overBudget),
                                 PngWithHeader(0x7FFFFFFF, 0x7FFFFFFF)}) {
    EXPECT_FALSE(DecodePngBytes(png, image));
    EXPECT_TRUE(image.isNull());
  }
  const std::string small = greyJpeg(16, 16);
  for (const std::string& jpeg :
       {JpegWithSize(small, 60000, 60000), JpegWithSize(small, 65535, 65535),
        JpegWithSize(small, side, static_cast<uint16_t>(overBudget))}) {
    ASSERT_FALSE(jpeg.empty());
    EXPECT_FALSE(DecodeJpegBytes(jpeg, image));
    EXPECT_TRUE(image.isNull());
  }
}

TEST(ImageDecodeTest, JpegWithHundredsOfScansIsRefused) {
  TJpegOptions options;
  options.ManyScans = true;
  const std::string jpeg = EncodeJpegImage(SmoothImage(32, 32), options);
  ASSERT_FALSE(jpeg.empty());
  QImage image;
  EXPECT_FALSE(DecodeJpegBytes(jpeg, image));
  // The same picture in the usual ten progressive scans decodes.
  options.ManyScans = false;
  options.Progressive = true;
  EXPECT_TRUE(DecodeJpegBytes(EncodeJpegImage(SmoothImage(32, 32), options), image));
}

// ---------------------------------------------------------------- dispatch

TEST(ImageDecodeTest, DecodesBySniffedTypeWhateverTheFallback) {
  const std::string png = SolidPng(qRgb(10, 200, 30), 8, 8);
  const std::string jpeg = SolidJpeg(qRgb(10, 200, 30), 8, 8);
  for (const std::string* bytes : {&png, &jpeg}) {
    for (TStreamType fallback : {stNone, stPng, stJpeg}) {
      QImage image;
      ASSERT_TRUE(DecodeImage(Bytes(*bytes), bytes->size(), fallback, image));
      const QRgb p = RawPixel(image, 3, 3);
      EXPECT_NEAR(qGreen(p), 200, 3);
      EXPECT_NEAR(qRed(p), 10, 3);
    }
  }
}

// A stream that is not a memory stream, to take the copying path.
class TChunkStream : public TStream {
 public:
  explicit TChunkStream(std::string bytes) : FBytes(std::move(bytes)) {}
  int64_t Size() const override { return static_cast<int64_t>(FBytes.size()); }
  void SetSize(int64_t size) override { FBytes.resize(static_cast<size_t>(size)); }
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t position) override { FPosition = position; }
  size_t Read(void* buffer, size_t count) override {
    // Hands out at most 100 bytes per call, as a socket or file might.
    if (FPosition >= Size()) return 0;
    count = std::min({count, size_t{100}, FBytes.size() - static_cast<size_t>(FPosition)});
    std::memcpy(buffer, FBytes.data() + FPosition, count);
    FPosition += static_cast<int64_t>(count);
    return count;
  }
  size_t Write(const void*, size_t) override { return 0; }

 private:
  std::string FBytes;
  int64_t FPosition = 0;
};

TEST(ImageDecodeTest, StreamDecodesFromItsPositionAndKeepsIt) {
  const std::string png = SolidPng(qRgb(1, 2, 3), 300, 40);
  const std::string prefix = "junk!";
  TMemoryStream memory(prefix + png);
  TChunkStream chunks(prefix + png);
  for (TStream* stream : {static_cast<TStream*>(&memory), static_cast<TStream*>(&chunks)}) {
    QImage image;
    stream->SetPosition(0);
    EXPECT_FALSE(DecodeImage(*stream, stPng, image));
    stream->SetPosition(static_cast<int64_t>(prefix.size()));
    ASSERT_TRUE(DecodeImage(*stream, stNone, image));
    EXPECT_EQ(image.size(), QSize(300, 40));
    EXPECT_EQ(RawPixel(image, 299, 39), qRgb(1, 2, 3));
    EXPECT_EQ(stream->Position(), static_cast<int64_t>(prefix.size()));
    stream->SetPosition(stream->Size());
    EXPECT_FALSE(DecodeImage(*stream, stPng, image));
    EXPECT_TRUE(image.isNull());
  }
}

TEST(ImageDecodeTest, DecodersRunOnSeveralThreadsAtOnce) {
  const std::string png = EncodePngImage(MapLikeImage(64, 64, 1, true), true);
  const std::string jpeg = EncodeJpegImage(MapLikeImage(64, 64, 1, true));
  const std::string bad = png.substr(0, png.size() / 2);
  QImage pngImage;
  QImage jpegImage;
  ASSERT_TRUE(DecodePngBytes(png, pngImage));
  ASSERT_TRUE(DecodeJpegBytes(jpeg, jpegImage));
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 30; ++i) {
        QImage a;
        QImage b;
        QImage c;
        if (!DecodePngBytes(png, a) || a != pngImage) ++failures[t];
        if (!DecodeJpegBytes(jpeg, b) || b != jpegImage) ++failures[t];
        if (DecodePngBytes(bad, c)) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace wy
