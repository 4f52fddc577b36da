#pragma once
// Heights from a server speaking the Open-Elevation interface, read into the
// elevation result list of the open elevation service: one line per point,
// whole metres, -9999 where the server has none.
//
// Pure functions, thread-safe.

#include <string>

#include "services/geocoding.h"

namespace wy {

// The path and query after the server's base for an elevation request text
// ("lat,lng,lat,lng" possibly followed by "&key=..."):
// "/api/v1/lookup?locations=lat,lng|lat,lng". "" when the text holds no
// whole pair of numbers.
std::string OpenElevationPath(const std::string& requestText);

// False with `lines` empty when the answer holds no results or a height
// that is no number.
bool ParseOpenElevationAnswer(const std::string& answer, TServiceResultList& lines);

}  // namespace wy
