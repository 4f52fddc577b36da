// The navigation address of info-window links: a view is finite, a link is
// one the desktop may open, and trimming leaves no blanks at the ends.

#include <cmath>

#include "formats/navigation_url.h"
#include "fuzz_target.h"
#include "platform/open_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string trimmed = wy::TrimNavigationUrl(wy::FuzzText(data, size));
  if (!trimmed.empty()) {
    WY_FUZZ_CHECK(static_cast<unsigned char>(trimmed.front()) > ' ');
    WY_FUZZ_CHECK(static_cast<unsigned char>(trimmed.back()) > ' ');
  }
  const wy::TNavigationTarget target = wy::ParseNavigationUrl(trimmed);
  switch (target.Kind) {
    case wy::nkView:
      WY_FUZZ_CHECK(trimmed[0] == '#');
      WY_FUZZ_CHECK(std::isfinite(target.Lat) && std::isfinite(target.Lng));
      break;
    case wy::nkLink:
      WY_FUZZ_CHECK(target.Link == trimmed);
      WY_FUZZ_CHECK(wy::IsOpenableUrl(target.Link));
      break;
    case wy::nkIgnored:
      break;
  }
  return 0;
}
