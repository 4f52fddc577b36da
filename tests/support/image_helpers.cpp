#include "support/image_helpers.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <QPainter>
#include <QPainterPath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

// The libraries report errors by longjmp: the routines that call them own
// only trivially destructible values; their callers own the buffers.

namespace wy {
namespace {

// ---------------------------------------------------------------- PNG

void PngWriteError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}
void PngWriteWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void PngWriteData(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp /*png*/) {}

int ChannelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 0;
  }
}

bool PngWrite(png_structp png, png_infop info, const TPngSpec* spec, png_bytep* rows,
              const png_color* palette, int paletteSize, std::string* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, PngWriteData, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(spec->Width),
               static_cast<png_uint_32>(spec->Height), spec->BitDepth, spec->ColorType,
               spec->Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (paletteSize > 0) png_set_PLTE(png, info, palette, paletteSize);
  if (!spec->PaletteAlpha.empty()) {
    png_set_tRNS(png, info, spec->PaletteAlpha.data(), static_cast<int>(spec->PaletteAlpha.size()),
                 nullptr);
  } else if (spec->HasTransparentColor) {
    png_color_16 color{};
    color.gray = spec->TransparentColor[0];
    color.red = spec->TransparentColor[0];
    color.green = spec->TransparentColor[1];
    color.blue = spec->TransparentColor[2];
    png_set_tRNS(png, info, nullptr, 0, &color);
  }
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

// ---------------------------------------------------------------- JPEG

struct TJpegWriteError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void JpegWriteErrorExit(j_common_ptr info) {
  longjmp(reinterpret_cast<TJpegWriteError*>(info->err)->jump, 1);
}
void JpegWriteOutputMessage(j_common_ptr /*info*/) {}

struct TJpegWriteJob {
  int Width;
  int Height;
  int Components;
  J_COLOR_SPACE ColorSpace;
  const uint8_t* Pixels;  // Components bytes per pixel, rows packed
  const TJpegOptions* Options;
  unsigned char* Buffer;  // malloc'ed by the library's memory destination
  unsigned long Size;
};

bool JpegWrite(jpeg_compress_struct* info, TJpegWriteJob* job) {
  TJpegWriteError* error = reinterpret_cast<TJpegWriteError*>(info->err);
  if (setjmp(error->jump)) return false;
  jpeg_create_compress(info);
  jpeg_mem_dest(info, &job->Buffer, &job->Size);
  info->image_width = static_cast<JDIMENSION>(job->Width);
  info->image_height = static_cast<JDIMENSION>(job->Height);
  info->input_components = job->Components;
  info->in_color_space = job->ColorSpace;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, job->Options->Quality, TRUE);
  if (!job->Options->WriteJfif) info->write_JFIF_header = FALSE;
  if (!job->Options->Subsample && job->Components == 3) {
    info->comp_info[0].h_samp_factor = 1;
    info->comp_info[0].v_samp_factor = 1;
  }
  if (job->Options->ManyScans) {
    // DC in one scan, then every AC coefficient of every component alone:
    // its first 4 bits dropped, then refined bit by bit.
    const int refinements = 4;
    const int count = 1 + info->num_components * 63 * (refinements + 1);
    jpeg_scan_info* scans = static_cast<jpeg_scan_info*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(jpeg_scan_info) * count));
    jpeg_scan_info* scan = scans;
    scan->comps_in_scan = info->num_components;
    for (int c = 0; c < info->num_components; ++c) scan->component_index[c] = c;
    scan->Ss = scan->Se = scan->Ah = scan->Al = 0;
    ++scan;
    for (int c = 0; c < info->num_components; ++c) {
      for (int k = 1; k < 64; ++k) {
        for (int bit = refinements; bit >= 0; --bit, ++scan) {
          scan->comps_in_scan = 1;
          scan->component_index[0] = c;
          scan->Ss = scan->Se = k;
          scan->Ah = bit == refinements ? 0 : bit + 1;
          scan->Al = bit;
        }
      }
    }
    info->scan_info = scans;
    info->num_scans = count;
  } else if (job->Options->Progressive) {
    jpeg_simple_progression(info);
  }
  jpeg_start_compress(info, TRUE);
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(job->Pixels + static_cast<size_t>(info->next_scanline) *
                                                          job->Width * job->Components);
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
  return true;
}

std::string RunJpegWrite(TJpegWriteJob job) {
  jpeg_compress_struct info;
  std::memset(&info, 0, sizeof info);
  TJpegWriteError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegWriteErrorExit;
  error.manager.output_message = JpegWriteOutputMessage;
  job.Buffer = nullptr;
  job.Size = 0;
  const bool ok = JpegWrite(&info, &job);
  jpeg_destroy_compress(&info);
  std::string result;
  if (ok && job.Buffer != nullptr) result.assign(reinterpret_cast<char*>(job.Buffer), job.Size);
  std::free(job.Buffer);
  return result;
}

}  // namespace

std::string EncodePng(const TPngSpec& spec) {
  const int channels = ChannelsOf(spec.ColorType);
  if (channels == 0 || spec.Width <= 0 || spec.Height <= 0) return {};
  const size_t samplesPerRow = static_cast<size_t>(spec.Width) * channels;
  if (spec.Samples.size() != samplesPerRow * spec.Height) return {};

  // Pack the samples: big-endian for 16 bits, most significant bits first
  // below 8.
  const size_t rowBytes = (samplesPerRow * spec.BitDepth + 7) / 8;
  std::vector<uint8_t> packed(rowBytes * spec.Height, 0);
  for (int y = 0; y < spec.Height; ++y) {
    uint8_t* row = packed.data() + rowBytes * y;
    for (size_t i = 0; i < samplesPerRow; ++i) {
      const uint16_t value = spec.Samples[samplesPerRow * y + i];
      if (spec.BitDepth == 16) {
        row[2 * i] = static_cast<uint8_t>(value >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(value);
      } else if (spec.BitDepth == 8) {
        row[i] = static_cast<uint8_t>(value);
      } else {
        const size_t bit = i * spec.BitDepth;
        row[bit / 8] |= static_cast<uint8_t>(value << (8 - spec.BitDepth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> rows(spec.Height);
  for (int y = 0; y < spec.Height; ++y) rows[y] = packed.data() + rowBytes * y;
  std::vector<png_color> palette(spec.Palette.size() / 3);
  for (size_t i = 0; i < palette.size(); ++i) {
    palette[i] = png_color{spec.Palette[3 * i], spec.Palette[3 * i + 1], spec.Palette[3 * i + 2]};
  }

  std::string out;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  bool ok = info != nullptr && PngWrite(png, info, &spec, rows.data(), palette.data(),
                                        static_cast<int>(palette.size()), &out);
  png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  return ok ? out : std::string();
}

std::string EncodePngImage(const QImage& image, bool withAlpha) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  TPngSpec spec;
  spec.Width = argb.width();
  spec.Height = argb.height();
  spec.ColorType = withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  spec.Samples.reserve(static_cast<size_t>(spec.Width) * spec.Height * (withAlpha ? 4 : 3));
  for (int y = 0; y < spec.Height; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < spec.Width; ++x) {
      spec.Samples.push_back(static_cast<uint16_t>(qRed(line[x])));
      spec.Samples.push_back(static_cast<uint16_t>(qGreen(line[x])));
      spec.Samples.push_back(static_cast<uint16_t>(qBlue(line[x])));
      if (withAlpha) spec.Samples.push_back(static_cast<uint16_t>(qAlpha(line[x])));
    }
  }
  return EncodePng(spec);
}

std::string EncodePalettePngImage(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  TPngSpec spec;
  spec.Width = rgb.width();
  spec.Height = rgb.height();
  spec.ColorType = PNG_COLOR_TYPE_PALETTE;
  std::map<QRgb, uint16_t> indexOf;
  spec.Samples.reserve(static_cast<size_t>(spec.Width) * spec.Height);
  for (int y = 0; y < spec.Height; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < spec.Width; ++x) {
      const QRgb color = line[x] | 0xFF000000u;
      auto found = indexOf.find(color);
      if (found == indexOf.end()) {
        if (indexOf.size() == 256) return {};
        found = indexOf.emplace(color, static_cast<uint16_t>(indexOf.size())).first;
        spec.Palette.push_back(static_cast<uint8_t>(qRed(color)));
        spec.Palette.push_back(static_cast<uint8_t>(qGreen(color)));
        spec.Palette.push_back(static_cast<uint8_t>(qBlue(color)));
      }
      spec.Samples.push_back(found->second);
    }
  }
  return EncodePng(spec);
}

std::string EncodeJpegImage(const QImage& image, const TJpegOptions& options) {
  const QImage source =
      image.convertToFormat(options.Grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  if (source.isNull()) return {};
  // Rows of a QImage are padded to 4 bytes; the encoder wants them packed.
  const int components = options.Grey ? 1 : 3;
  const size_t rowBytes = static_cast<size_t>(source.width()) * components;
  std::vector<uint8_t> pixels(rowBytes * source.height());
  for (int y = 0; y < source.height(); ++y) {
    std::memcpy(pixels.data() + rowBytes * y, source.constScanLine(y), rowBytes);
  }
  TJpegWriteJob job{
      source.width(), source.height(), components, options.Grey ? JCS_GRAYSCALE : JCS_RGB,
      pixels.data(),  &options,        nullptr,    0};
  return RunJpegWrite(job);
}

std::string EncodeCmykJpeg(int width, int height, const uint8_t cmyk[4]) {
  if (width <= 0 || height <= 0) return {};
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = cmyk[i % 4];
  const TJpegOptions options;
  TJpegWriteJob job{width, height, 4, JCS_CMYK, pixels.data(), &options, nullptr, 0};
  return RunJpegWrite(job);
}

std::string SolidPng(QRgb color, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(color);
  return EncodePngImage(image, qAlpha(color) != 0xFF);
}

std::string SolidJpeg(QRgb color, int width, int height, int quality) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  TJpegOptions options;
  options.Quality = quality;
  return EncodeJpegImage(image, options);
}

QImage MapLikeImage(int width, int height, uint32_t seed, bool antialiased) {
  std::mt19937 random(seed);
  auto uniform = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(0xF2, 0xEF, 0xE9));  // land
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, antialiased);
  painter.setPen(Qt::NoPen);

  // A river or lake shore across a corner.
  QPainterPath water;
  water.moveTo(0, height * 0.6);
  water.cubicTo(width * 0.3, height * 0.5, width * 0.5, height * 0.9, width * 0.8, height);
  water.lineTo(0, height);
  water.closeSubpath();
  painter.fillPath(water, QColor(0xAA, 0xD3, 0xDF));

  // Parks and blocks of buildings.
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(QColor(0xC8, 0xFA, 0xCC));
    painter.drawEllipse(QPoint(uniform(0, width), uniform(0, height / 2)), uniform(10, 40),
                        uniform(10, 30));
  }
  painter.setBrush(QColor(0xD9, 0xD0, 0xC9));
  for (int i = 0; i < 60; ++i) {
    painter.drawRect(uniform(0, width), uniform(0, height), uniform(4, 18), uniform(4, 18));
  }

  // Roads: a grey casing under a white or yellow fill.
  for (int i = 0; i < 12; ++i) {
    const QPointF from(uniform(-20, width + 20), uniform(-20, height + 20));
    const QPointF to(uniform(-20, width + 20), uniform(-20, height + 20));
    const bool major = i % 4 == 0;
    const double w = major ? 9 : 5;
    painter.setPen(QPen(QColor(0xB0, 0xA8, 0xA0), w + 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
    painter.setPen(QPen(major ? QColor(0xF7, 0xFA, 0xBF) : QColor(0xFF, 0xFF, 0xFF), w,
                        Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
  }
  // A dashed boundary.
  QPen boundary(QColor(0x9E, 0x9C, 0xAB), 2, Qt::DashLine);
  painter.setPen(boundary);
  painter.drawLine(QPointF(0, uniform(0, height)), QPointF(width, uniform(0, height)));
  painter.end();
  return image;
}

}  // namespace wy
