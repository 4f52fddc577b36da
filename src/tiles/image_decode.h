#pragma once
// PNG and JPEG decoding into QImage, by calling libpng and libjpeg directly.
//
// Results:
//  - opaque images come back as QImage::Format_RGB32;
//  - images with an alpha channel or a transparent colour come back as
//    QImage::Format_ARGB32_Premultiplied, or as Format_RGB32 when every pixel
//    turns out to be opaque;
//  - 16-bit samples are scaled to 8 bits; palettes and grey are expanded;
//    interlaced PNGs are de-interlaced; gamma and colour profiles are ignored.
//
// Every failure (empty, garbage or truncated input, a corrupt chunk, an image
// larger than the limits below, a colour model that is not handled, running
// out of memory) returns false and leaves `out` null. Nothing is thrown.
// A PNG must reach its IEND chunk and a JPEG its EOI marker to count as
// decoded, so a cut-off download is never taken for a whole image.
//
// The functions keep no shared state: they may run on any thread at once.

#include <QImage>
#include <cstddef>
#include <cstdint>

#include "geo/enums.h"

namespace wy {

class TStream;

// Images wider or taller than kMaxDecodeSide, or with more than
// kMaxDecodePixels pixels (128 MiB as 32-bit pixels), are refused from their
// header, before any pixel memory is allocated.
constexpr uint32_t kMaxDecodeSide = 8192;
constexpr uint64_t kMaxDecodePixels = uint64_t{32} * 1024 * 1024;

// The image type from the first bytes: the 8-byte PNG signature gives stPng,
// FF D8 FF (any JPEG, whatever marker follows the start of image) gives
// stJpeg, anything else stNone.
TStreamType SniffImageType(const uint8_t* data, size_t size);

bool DecodePng(const uint8_t* data, size_t size, QImage& out);
bool DecodeJpeg(const uint8_t* data, size_t size, QImage& out);

// Decodes by the sniffed type first; when the bytes sniff as neither, or the
// sniffed decoder fails, tries fallbackFormat if it names the other decoder
// (stNone: no fallback).
bool DecodeImage(const uint8_t* data, size_t size, TStreamType fallbackFormat, QImage& out);

// As above, over the bytes from the stream's position to its end. The
// stream's position is the same afterwards.
bool DecodeImage(TStream& stream, TStreamType fallbackFormat, QImage& out);

}  // namespace wy
