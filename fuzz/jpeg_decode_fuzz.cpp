// The JPEG decoder of tiles and icons. A decoded image is never empty and
// stays within the decoder's size limits (a failure leaves no image); the sniffing entry point agrees.

#include <QImage>

#include "fuzz_target.h"
#include "tiles/image_decode.h"

namespace {

void CheckDecoded(const QImage& image) {
  WY_FUZZ_CHECK(!image.isNull());
  WY_FUZZ_CHECK(image.width() > 0 && image.height() > 0);
  WY_FUZZ_CHECK(image.format() == QImage::Format_RGB32 ||
                image.format() == QImage::Format_ARGB32_Premultiplied);
  WY_FUZZ_CHECK(static_cast<uint32_t>(image.width()) <= wy::kMaxDecodeSide);
  WY_FUZZ_CHECK(static_cast<uint32_t>(image.height()) <= wy::kMaxDecodeSide);
  WY_FUZZ_CHECK(static_cast<uint64_t>(image.width()) * static_cast<uint64_t>(image.height()) <=
                wy::kMaxDecodePixels);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QImage direct;
  const bool decoded = wy::DecodeJpeg(data, size, direct);
  if (decoded)
    CheckDecoded(direct);
  else
    WY_FUZZ_CHECK(direct.isNull());
  QImage sniffed;
  if (wy::DecodeImage(data, size, wy::stJpeg, sniffed)) CheckDecoded(sniffed);
  return 0;
}
