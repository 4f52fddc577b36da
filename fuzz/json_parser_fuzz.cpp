// The event-driven JSON reader and the string decoder. A text read
// completely must have sent balanced events, never deeper than the limit.

#include <algorithm>

#include "formats/json_parser.h"
#include "fuzz_target.h"

namespace {

class TCheckingReader : public wy::TSAJ {
 public:
  int Objects = 0;   // open objects
  int Elements = 0;  // open members and arrays
  int MaxDepth = 0;
  size_t Decoded = 0;

 protected:
  void StartElement(const std::string&) override { Open(Elements); }
  void EndElement() override {
    WY_FUZZ_CHECK(Elements > 0);
    --Elements;
  }
  void StartObject() override { Open(Objects); }
  void EndObject() override {
    WY_FUZZ_CHECK(Objects > 0);
    --Objects;
  }
  void SetElementValue(const std::string& value) override {
    Decoded += wy::JsonDecodeString(value).size();
  }

 private:
  void Open(int& count) {
    ++count;
    // An object and its member (or an array) per level, and the top level.
    MaxDepth = std::max(MaxDepth, Objects + Elements);
    WY_FUZZ_CHECK(MaxDepth <= 2 * (wy::TSAJ::kMaxDepth + 1));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TCheckingReader reader;
  if (reader.ParseJSON(text)) {
    WY_FUZZ_CHECK(reader.Objects == 0);
    WY_FUZZ_CHECK(reader.Elements == 0);
  }
  // The decoder on the raw text: any bytes, any escapes.
  const std::string decoded = wy::JsonDecodeString(text);
  return decoded.size() + reader.Decoded == static_cast<size_t>(-1);
}
