// The JPEG decoder of tiles and icons.

#include "decoded_image_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wy::FuzzImageDecoder(wy::DecodeJpeg, wy::stJpeg, data, size);
  return 0;
}
