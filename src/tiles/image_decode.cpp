#include "tiles/image_decode.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <png.h>

#include <QtEndian>
#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <iterator>
#include <vector>

#include "geo/stream.h"

// How errors are handled: libpng and libjpeg report a fatal error by
// longjmp-ing back to a setjmp point. Each routine below that may end in such
// a jump is written in plain C style: its frame, and the frames of the
// callbacks it reaches, hold only trivially destructible values, so the jump
// skips no destructor. The C++ callers own the QImage and tear the library
// state down after the routine has returned; no jump ever crosses them.

namespace wy {
namespace {

bool DimensionsAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxDecodeSide && height <= kMaxDecodeSide &&
         width * height <= kMaxDecodePixels;
}

// Premultiplies a row of 0xAARRGGBB pixels in place; true when any pixel is
// not fully opaque.
bool PremultiplyRow(uint32_t* pixels, uint32_t count) {
  uint32_t alphaAnd = 0xFF;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t alpha = pixels[i] >> 24;
    if (alpha != 0xFF) pixels[i] = qPremultiply(pixels[i]);
    alphaAnd &= alpha;
  }
  return alphaAnd != 0xFF;
}

// ---------------------------------------------------------------- PNG

// Ancillary chunks the decoder has no use for; they are skipped unread
// (text and ICC profiles would otherwise be inflated for nothing).
constexpr png_byte kSkippedPngChunks[] = "iCCP\0iTXt\0tEXt\0zTXt\0sPLT\0eXIf\0";
constexpr int kSkippedPngChunkCount = 6;
// Largest ancillary chunk libpng may allocate.
constexpr png_alloc_size_t kPngChunkLimit = 8u * 1024 * 1024;

struct TPngSource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

struct TPngDecoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TPngSource source{};
  uint32_t width = 0;
  uint32_t height = 0;
  int passes = 1;
  bool hasAlpha = false;
  // Palette and grey images of up to 8 bits, not interlaced: libpng hands
  // out one index byte per pixel and the table gives its final premultiplied
  // 0xAARRGGBB, in a single pass.
  bool useTable = false;
  uint32_t table[256];
};

void PngError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}
void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void PngRead(png_structp png, png_bytep out, size_t count) {
  TPngSource* source = static_cast<TPngSource*>(png_get_io_ptr(png));
  if (count > source->size - source->position) png_error(png, "unexpected end of data");
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

// Sets up the table path (see TPngDecoder::table). Runs under the caller's
// setjmp.
bool PngPrepareTable(TPngDecoder* d, int colorType, int bitDepth, bool hasTrns) {
  png_bytep trnsAlpha = nullptr;
  int trnsCount = 0;
  png_color_16p trnsColor = nullptr;
  if (hasTrns) png_get_tRNS(d->png, d->info, &trnsAlpha, &trnsCount, &trnsColor);
  // Indexes past the palette's end read as opaque black.
  std::fill(std::begin(d->table), std::end(d->table), 0xFF000000u);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(d->png, d->info, &palette, &count) == 0) return false;
    for (int i = 0; i < count && i < 256; ++i) {
      const int alpha = i < trnsCount && trnsAlpha != nullptr ? trnsAlpha[i] : 255;
      d->table[i] = qPremultiply(qRgba(palette[i].red, palette[i].green, palette[i].blue, alpha));
    }
  } else {
    const int levels = 1 << bitDepth;
    for (int v = 0; v < levels; ++v) {
      const int grey = v * 255 / (levels - 1);
      const bool clear = hasTrns && trnsColor != nullptr && trnsColor->gray == v;
      d->table[v] = clear ? 0u : qRgb(grey, grey, grey);
    }
  }
  if (bitDepth < 8) png_set_packing(d->png);
  png_read_update_info(d->png, d->info);
  if (png_get_rowbytes(d->png, d->info) != size_t{d->width}) return false;
  d->useTable = true;
  d->passes = 1;
  return true;
}

// Reads the chunks up to the image data, checks the size and sets the
// transforms that make libpng write rows in the layout of a 32-bit QImage.
bool PngReadHeader(TPngDecoder* d) {
  if (setjmp(png_jmpbuf(d->png))) return false;
  png_set_user_limits(d->png, kMaxDecodeSide, kMaxDecodeSide);
  png_set_chunk_malloc_max(d->png, kPngChunkLimit);
  png_set_keep_unknown_chunks(d->png, PNG_HANDLE_CHUNK_NEVER, kSkippedPngChunks,
                              kSkippedPngChunkCount);
#ifdef PNG_IGNORE_ADLER32
  // Every IDAT chunk is already checked against its CRC-32, so zlib's second
  // checksum over the inflated bytes finds nothing new; skipping it saves
  // about a tenth of the decoding time.
  png_set_option(d->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_set_read_fn(d->png, &d->source, PngRead);
  png_read_info(d->png, d->info);

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  png_get_IHDR(d->png, d->info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  if (!DimensionsAllowed(width, height)) return false;

  const bool hasTrns = png_get_valid(d->png, d->info, PNG_INFO_tRNS) != 0;
  const bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
  d->width = width;
  d->height = height;
  d->hasAlpha = hasAlpha;
  const bool interlaced = png_get_interlace_type(d->png, d->info) != PNG_INTERLACE_NONE;
  if (!interlaced && (colorType == PNG_COLOR_TYPE_PALETTE ||
                      (colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8))) {
    return PngPrepareTable(d, colorType, bitDepth, hasTrns);
  }
  if (bitDepth == 16) png_set_scale_16(d->png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(d->png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(d->png);
  if (hasTrns) png_set_tRNS_to_alpha(d->png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(d->png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  // 0xAARRGGBB in memory order: B, G, R, A.
  png_set_bgr(d->png);
  if (!hasAlpha) png_set_filler(d->png, 0xFF, PNG_FILLER_AFTER);
#else
  // 0xAARRGGBB in memory order: A, R, G, B.
  if (hasAlpha) {
    png_set_swap_alpha(d->png);
  } else {
    png_set_filler(d->png, 0xFF, PNG_FILLER_BEFORE);
  }
#endif
  d->passes = png_set_interlace_handling(d->png);
  png_read_update_info(d->png, d->info);
  if (png_get_rowbytes(d->png, d->info) != size_t{width} * 4) return false;

  return true;
}

// Reads every row (every pass of an interlaced image) into the pixel buffer,
// premultiplies rows as they are completed, then reads on to IEND.
bool PngReadPixels(TPngDecoder* d, uint8_t* bits, size_t stride, bool* translucent) {
  if (setjmp(png_jmpbuf(d->png))) return false;
  if (d->useTable) {
    uint32_t alphaAnd = 0xFF;
    for (uint32_t y = 0; y < d->height; ++y) {
      // The indexes go to the last quarter of the row, which is then widened
      // front to back: pixel i is written over bytes 4i..4i+3, all before
      // index i + 1 at byte 3 * width + i + 1.
      uint32_t* row = reinterpret_cast<uint32_t*>(bits + y * stride);
      uint8_t* indexes = bits + y * stride + size_t{3} * d->width;
      png_read_row(d->png, indexes, nullptr);
      for (uint32_t x = 0; x < d->width; ++x) {
        const uint32_t pixel = d->table[indexes[x]];
        row[x] = pixel;
        alphaAnd &= pixel >> 24;
      }
    }
    png_read_end(d->png, nullptr);
    *translucent = alphaAnd != 0xFF;
    return true;
  }
  bool anyTranslucent = false;
  for (int pass = 0; pass < d->passes; ++pass) {
    const bool lastPass = pass == d->passes - 1;
    for (uint32_t y = 0; y < d->height; ++y) {
      uint8_t* row = bits + y * stride;
      png_read_row(d->png, row, nullptr);
      if (lastPass && d->hasAlpha) {
        if (PremultiplyRow(reinterpret_cast<uint32_t*>(row), d->width)) anyTranslucent = true;
      }
    }
  }
  png_read_end(d->png, nullptr);
  *translucent = anyTranslucent;
  return true;
}

// ---------------------------------------------------------------- JPEG

// Progressive files with more scans than this are refused: each scan costs a
// pass over the whole coefficient buffer, so a crafted file with thousands of
// tiny scans would keep a thread busy for minutes.
constexpr int kMaxJpegScans = 500;
// Memory libjpeg may use for its whole-image buffers (progressive files).
constexpr long kJpegMemoryLimit = 256L * 1024 * 1024;
// Scanlines handed to libjpeg per call.
constexpr int kJpegRowsPerCall = 16;

struct TJpegError {
  jpeg_error_mgr manager;  // first, so the library's pointer converts back
  jmp_buf jump;
};

struct TJpegDecoder {
  jpeg_decompress_struct info;
  TJpegError error;
  jpeg_progress_mgr progress;
  bool created;
  bool cmyk;
};

void JpegErrorExit(j_common_ptr info) {
  TJpegError* error = reinterpret_cast<TJpegError*>(info->err);
  longjmp(error->jump, 1);
}

// Warnings are tolerated (as most viewers do: stray bytes between markers
// are common), except running out of data: the library would pad the image
// with grey and report success.
void JpegEmitMessage(j_common_ptr info, int level) {
  if (level >= 0) return;
  if (info->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(info);
  info->err->num_warnings++;
}

void JpegOutputMessage(j_common_ptr /*info*/) {}

void JpegProgress(j_common_ptr info) {
  if (info->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
    JpegErrorExit(info);
  }
}

// Reads the header, checks the size and colour model and starts
// decompression (which reads all scans of a progressive file).
bool JpegStart(TJpegDecoder* d, const uint8_t* data, size_t size) {
  if (setjmp(d->error.jump)) return false;
  d->created = true;
  jpeg_create_decompress(&d->info);
  d->info.mem->max_memory_to_use = kJpegMemoryLimit;
  d->progress.progress_monitor = JpegProgress;
  d->info.progress = &d->progress;
  jpeg_mem_src(&d->info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d->info, TRUE) != JPEG_HEADER_OK) return false;
  if (!DimensionsAllowed(d->info.image_width, d->info.image_height)) return false;

  switch (d->info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
#ifdef JCS_ALPHA_EXTENSIONS
      // Opaque 0xAARRGGBB straight from the colour converter; unlike the
      // ..X variants these set the fourth byte to 0xFF.
      d->info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
#else
      d->info.out_color_space = JCS_RGB;
#endif
      d->cmyk = false;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d->info.out_color_space = JCS_CMYK;
      d->cmyk = true;
      break;
    default:
      return false;
  }
  jpeg_start_decompress(&d->info);
  if (d->info.output_width != d->info.image_width ||
      d->info.output_height != d->info.image_height) {
    return false;
  }
  return true;
}

// Packed 8-bit R, G, B samples at the start of a row, widened in place to
// 0xFFRRGGBB (walking backwards, so no sample is overwritten before use).
[[maybe_unused]] void ExpandRgbRow(uint8_t* row, uint32_t width) {
  uint32_t* out = reinterpret_cast<uint32_t*>(row);
  for (uint32_t i = width; i-- > 0;) {
    const uint8_t* in = row + i * 3;
    out[i] = qRgb(in[0], in[1], in[2]);
  }
}

// CMYK as written by Adobe applications (inverted: 255 means no ink) to
// 0xFFRRGGBB in place.
void ConvertCmykRow(uint8_t* row, uint32_t width) {
  uint32_t* out = reinterpret_cast<uint32_t*>(row);
  for (uint32_t i = 0; i < width; ++i) {
    const uint8_t* in = row + i * 4;
    const uint32_t k = in[3];
    const int r = static_cast<int>((in[0] * k + 127) / 255);
    const int g = static_cast<int>((in[1] * k + 127) / 255);
    const int b = static_cast<int>((in[2] * k + 127) / 255);
    out[i] = qRgb(r, g, b);
  }
}

// Decodes every scanline into the pixel buffer and reads on to EOI.
bool JpegReadPixels(TJpegDecoder* d, uint8_t* bits, size_t stride) {
  if (setjmp(d->error.jump)) return false;
  const uint32_t width = d->info.output_width;
  const uint32_t height = d->info.output_height;
  while (d->info.output_scanline < height) {
    const uint32_t first = d->info.output_scanline;
    const uint32_t count = std::min<uint32_t>(kJpegRowsPerCall, height - first);
    JSAMPROW rows[kJpegRowsPerCall];
    for (uint32_t i = 0; i < count; ++i) rows[i] = bits + (first + i) * stride;
    const uint32_t read = jpeg_read_scanlines(&d->info, rows, count);
    if (read == 0) return false;
    for (uint32_t i = 0; i < read; ++i) {
      if (d->cmyk) {
        ConvertCmykRow(rows[i], width);
      } else {
#ifndef JCS_ALPHA_EXTENSIONS
        ExpandRgbRow(rows[i], width);
#endif
      }
    }
  }
  jpeg_finish_decompress(&d->info);
  return true;
}

bool DecodeAs(TStreamType type, const uint8_t* data, size_t size, QImage& out) {
  switch (type) {
    case stPng:
      return DecodePng(data, size, out);
    case stJpeg:
      return DecodeJpeg(data, size, out);
    default:
      return false;
  }
}

}  // namespace

TStreamType SniffImageType(const uint8_t* data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data == nullptr) return stNone;
  if (size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0) {
    return stPng;
  }
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return stJpeg;
  return stNone;
}

bool DecodePng(const uint8_t* data, size_t size, QImage& out) {
  out = QImage();
  if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;

  TPngDecoder d;
  d.source = TPngSource{data, size, 0};
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (d.png == nullptr) return false;
  d.info = png_create_info_struct(d.png);
  struct TRelease {
    TPngDecoder& d;
    ~TRelease() { png_destroy_read_struct(&d.png, d.info ? &d.info : nullptr, nullptr); }
  } release{d};
  if (d.info == nullptr) return false;

  if (!PngReadHeader(&d)) return false;
  QImage image(static_cast<int>(d.width), static_cast<int>(d.height),
               d.hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  if (image.isNull()) return false;
  bool translucent = false;
  if (!PngReadPixels(&d, image.bits(), static_cast<size_t>(image.bytesPerLine()), &translucent)) {
    return false;
  }
  // An alpha channel that is opaque everywhere: every pixel already reads
  // 0xFFRRGGBB, which is valid RGB32 as it stands.
  if (d.hasAlpha && !translucent) image.reinterpretAsFormat(QImage::Format_RGB32);
  out = std::move(image);
  return true;
}

bool DecodeJpeg(const uint8_t* data, size_t size, QImage& out) {
  out = QImage();
  if (data == nullptr || size < 3 || data[0] != 0xFF || data[1] != 0xD8) return false;

  TJpegDecoder d;
  std::memset(&d, 0, sizeof d);
  d.info.err = jpeg_std_error(&d.error.manager);
  d.error.manager.error_exit = JpegErrorExit;
  d.error.manager.emit_message = JpegEmitMessage;
  d.error.manager.output_message = JpegOutputMessage;
  struct TRelease {
    TJpegDecoder& d;
    ~TRelease() {
      if (d.created) jpeg_destroy_decompress(&d.info);
    }
  } release{d};

  if (!JpegStart(&d, data, size)) return false;
  QImage image(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
               QImage::Format_RGB32);
  if (image.isNull()) return false;
  if (!JpegReadPixels(&d, image.bits(), static_cast<size_t>(image.bytesPerLine()))) return false;
  out = std::move(image);
  return true;
}

bool DecodeImage(const uint8_t* data, size_t size, TStreamType fallbackFormat, QImage& out) {
  const TStreamType sniffed = SniffImageType(data, size);
  if (sniffed != stNone && DecodeAs(sniffed, data, size, out)) return true;
  if (fallbackFormat != sniffed && DecodeAs(fallbackFormat, data, size, out)) return true;
  out = QImage();
  return false;
}

bool DecodeImage(TStream& stream, TStreamType fallbackFormat, QImage& out) {
  const int64_t start = stream.Position();
  const int64_t size = stream.Size();
  if (start >= size) {
    out = QImage();
    return false;
  }
  const size_t count = static_cast<size_t>(size - start);
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    return DecodeImage(memory->Memory() + start, count, fallbackFormat, out);
  }
  // Other streams may hand out fewer bytes per call than asked for.
  std::vector<uint8_t> bytes(count);
  size_t read = 0;
  while (read < count) {
    const size_t got = stream.Read(bytes.data() + read, count - read);
    if (got == 0) break;
    read += got;
  }
  stream.SetPosition(start);
  return DecodeImage(bytes.data(), read, fallbackFormat, out);
}

}  // namespace wy
