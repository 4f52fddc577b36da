#pragma once
// What the service commands of the wymap tool share: waiting for a
// completion on the window thread, reading "LAT,LNG" operands, failure lines.

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "geo/coordinate_text.h"
#include "geo/text_convert.h"
#include "platform/window_thread.h"

namespace wy {
namespace wymap_detail {

// Runs the window thread's queue until done() holds or the time-out passes.
inline bool PumpFor(const std::function<bool()>& done, double timeoutSeconds) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<int64_t>(timeoutSeconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    WaitProcessing(5);
  }
  return true;
}

// "LAT,LNG" with both in range, written with "."; false otherwise.
inline bool ReadLatLng(const std::string& text, double& lat, double& lng) {
  return ParseLatLngText(text, lat, lng);
}

// One failure line; returns the tool's request-failed code (1).
inline int FailLine(std::ostream& err, const std::string& what, std::string why) {
  for (char& c : why)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  err << "wymap: " << what << " failed: " << why << '\n';
  return 1;
}

}  // namespace wymap_detail
}  // namespace wy
