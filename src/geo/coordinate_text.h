#pragma once
// A coordinate pair as a person types it into a search box, so that it can
// be shown without asking a geocoder:
//   decimal degrees        "48.85, 2.35", "48.85 2.35", "-33.86,151.21"
//   degrees, minutes, secs 48°51'24"N 2°21'03"E (also with ′ ″, ’ ”, '')
//   degrees, decimal mins  48°51.4'N 2°21.05'E
// Hemisphere letters N, S, E, W may come before or after a value (not
// together with a sign); with letters the pair may be written longitude
// first. Without letters the latitude comes first. The decimal mark is "."
// (a "," separates the two values).

#include <string>

namespace wy {

// True, with the pair in the outputs, when the whole text is one coordinate
// pair within range (latitude -90..90, longitude -180..180, minutes and
// seconds under 60). False, outputs untouched, for anything else: a single
// number, a third value, words, conflicting or doubled hemispheres, a value
// out of range.
bool ParseCoordinateText(const std::string& text, double& lat, double& lng);

// "LAT,LNG" as programs write it (requests, command operands): two numbers
// with "." as decimal mark (spaces around them allowed) separated by the
// one comma, the latitude within -90..90 and the longitude within
// -180..180. False, outputs untouched, for anything else.
bool ParseLatLngText(const std::string& text, double& lat, double& lng);

}  // namespace wy
