#pragma once
// Image bytes of known content for tests and benchmarks: PNG written with
// libpng, JPEG with libjpeg, so the fixture server can serve real tiles and
// icons and the decoders can be checked pixel by pixel.
//
// The encoders return an empty string when the library refuses the input.
// A target using them links libpng and libjpeg (wy_tiles brings both).

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace wy {

// A PNG described at the level of its samples, to reach every colour type
// and bit depth the format allows.
struct TPngSpec {
  int Width = 0;
  int Height = 0;
  int ColorType = 2;        // PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int BitDepth = 8;         // 1, 2, 4, 8 or 16, as the colour type allows
  bool Interlaced = false;  // Adam7
  // Channel samples, row by row, Width * channels per row; each value below
  // 2^BitDepth (palette images: the palette index).
  std::vector<uint16_t> Samples;
  std::vector<uint8_t> Palette;       // R, G, B per entry
  std::vector<uint8_t> PaletteAlpha;  // tRNS of the first palette entries
  // tRNS of grey and RGB images: the sample values (grey: [0] only) that
  // mean "transparent".
  bool HasTransparentColor = false;
  uint16_t TransparentColor[3] = {0, 0, 0};
};
std::string EncodePng(const TPngSpec& spec);

// 8-bit RGB PNG of the image, or RGBA when withAlpha (the image's alpha,
// unpremultiplied). Palette PNG: every distinct colour of the opaque image
// becomes a palette entry (empty result when there are more than 256).
std::string EncodePngImage(const QImage& image, bool withAlpha = false);
std::string EncodePalettePngImage(const QImage& image);

struct TJpegOptions {
  int Quality = 90;
  bool Progressive = false;
  bool Grey = false;      // one component, from the image's grey values
  bool WriteJfif = true;  // false: no APP0 marker, FF D8 FF DB ...
  bool Subsample = true;  // 4:2:0 chroma (the default of most encoders)
  // Progressive with one scan per component, AC coefficient and bit: 946
  // scans for a colour image (a valid but pathological file).
  bool ManyScans = false;
};
std::string EncodeJpegImage(const QImage& image, const TJpegOptions& options = {});
// A CMYK JPEG (with the Adobe marker) whose every pixel has the stored
// samples c, m, y, k. Adobe applications store CMYK inverted: 255 = no ink.
std::string EncodeCmykJpeg(int width, int height, const uint8_t cmyk[4]);

// Solid-colour images, the usual stand-ins for served tiles.
std::string SolidPng(QRgb color, int width = 256, int height = 256);
std::string SolidJpeg(QRgb color, int width = 256, int height = 256, int quality = 90);

// A map-like picture: land, water, parks, buildings and a road network,
// drawn from a seeded generator. Without antialiasing it uses a dozen
// colours (for palette PNGs); with it, thousands.
QImage MapLikeImage(int width = 256, int height = 256, uint32_t seed = 1, bool antialiased = true);

}  // namespace wy
