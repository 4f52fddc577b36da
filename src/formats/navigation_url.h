#pragma once
// The map's navigation address, as the links of info windows and
// applications write it: "#" + zoom + "/" + latitude + "/" + longitude
// moves the view; an http, https or mailto address is a link for the
// desktop's browser; anything else is ignored.
//
// Addresses come from content the map does not trust (info windows, files
// read from the web), so reading one never fails loudly: what cannot be
// read is ignored.

#include <cstdint>
#include <string>

namespace wy {

enum TNavigationKind : uint8_t {
  nkIgnored = 0,  // nothing to do
  nkView = 1,     // Zoom, Lat and Lng are set
  nkLink = 2,     // Link is an address the desktop may open
};

struct TNavigationTarget {
  TNavigationKind Kind = nkIgnored;
  uint8_t Zoom = 0;  // the written zoom clamped to 0..255
  double Lat = 0;    // finite, as written (the map clamps it)
  double Lng = 0;    // finite, as written
  std::string Link;
};

// The address without the blanks and control characters around it.
std::string TrimNavigationUrl(const std::string& value);

// Reads a trimmed address. A view needs all three parts to be numbers (-1
// is an ordinary coordinate); a link must pass IsOpenableUrl.
TNavigationTarget ParseNavigationUrl(const std::string& value);

}  // namespace wy
