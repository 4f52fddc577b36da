// The XML tokenizer, both ways it reads: one text at once (SetXml) and a
// stream line by line. Every event reads what it may read.

#include "formats/xml_tokenizer.h"
#include "fuzz_target.h"
#include "geo/stream.h"

namespace {

size_t Touch(wy::TwytXML& xml) {
  size_t n = xml.NodeText().size() + xml.NodeTag().size();
  const wy::TXmlParams& params = xml.NodeParams();
  for (const std::string& param : params) {
    n += param.size();
    const size_t eq = param.find('=');
    const std::string name = param.substr(0, eq);
    WY_FUZZ_CHECK(params.Has(name) || name.empty());
    n += params.Value(name).size();
  }
  return n + static_cast<size_t>(xml.State());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wy::QuietFuzzLogs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = wy::FuzzText(data, size);
  size_t seen = 0;
  wy::TwytXML xml;
  xml.HandleTag = [&seen](wy::TwytXML& x) { seen += Touch(x); };
  xml.HandleText = [&seen](wy::TwytXML& x) {
    seen += Touch(x);
    // A load from inside an event is refused and changes nothing.
    wy::TMemoryStream inner("<a/>");
    WY_FUZZ_CHECK(!x.LoadFromStream(inner));
  };
  xml.SetXml(text);
  wy::TMemoryStream stream(text);
  WY_FUZZ_CHECK(xml.LoadFromStream(stream));
  return seen == static_cast<size_t>(-1);
}
