#pragma once
// What the PNG and JPEG targets check: a decoded image is never empty, has
// one of the two formats the decoders promise and stays within their size
// limits; a failure leaves no image. Both entry points are run: the
// decoder itself and the one that sniffs the type first.

#include <QImage>

#include "fuzz_target.h"
#include "tiles/image_decode.h"

namespace wy {

inline void CheckDecodedImage(const QImage& image) {
  WY_FUZZ_CHECK(!image.isNull());
  WY_FUZZ_CHECK(image.width() > 0 && image.height() > 0);
  WY_FUZZ_CHECK(image.format() == QImage::Format_RGB32 ||
                image.format() == QImage::Format_ARGB32_Premultiplied);
  WY_FUZZ_CHECK(static_cast<uint32_t>(image.width()) <= kMaxDecodeSide);
  WY_FUZZ_CHECK(static_cast<uint32_t>(image.height()) <= kMaxDecodeSide);
  WY_FUZZ_CHECK(static_cast<uint64_t>(image.width()) * static_cast<uint64_t>(image.height()) <=
                kMaxDecodePixels);
}

template <typename TDecode>
void FuzzImageDecoder(TDecode decode, TStreamType type, const uint8_t* data, size_t size) {
  QImage direct;
  if (decode(data, size, direct))
    CheckDecodedImage(direct);
  else
    WY_FUZZ_CHECK(direct.isNull());
  QImage sniffed;
  if (DecodeImage(data, size, type, sniffed)) CheckDecodedImage(sniffed);
}

}  // namespace wy
