#pragma once
// Routes from a routing server speaking the OSRM HTTP interface, read into
// the directions result list of the open directions service (see
// services/directions_answer.h), so that a route looks the same whichever
// back end computed it.
//
// The server sends no instruction text: each step's instruction is
// composed in English from its manoeuvre type, modifier and road name
// ("Turn left onto Boulevard Saint-Michel").
//
// Pure functions, thread-safe.

#include <string>
#include <utility>
#include <vector>

#include "services/geocoding.h"

namespace wy {

// The points of an encoded polyline (precision 5) as latitude, longitude
// pairs; false (points emptied) when the text is cut short or holds a
// character outside the encoding.
bool DecodePolyline(const std::string& encoded, std::vector<std::pair<double, double>>& points);

// The English instruction of one step.
std::string OsrmInstruction(const std::string& type, const std::string& modifier,
                            const std::string& name, const std::string& exit = std::string());

// The profile for a route type of the directions requests: "pedestrian"
// gives "foot", "bicycle" "bike", anything else "driving".
std::string OsrmProfile(const std::string& routeType);

// The path and query after the server's base for a directions request text
// ("from=lat,lng&to=lat,lng&...&routeType=pedestrian&..."):
// "/route/v1/<profile>/<lng>,<lat>;<lng>,<lat>?steps=true&overview=full&
// geometries=polyline". "" when the text has no from and to point.
std::string OsrmRoutePath(const std::string& requestText);

// Fills `lines` as a directions answer would (points with instructions,
// summary "<metres>,<seconds>", raw line). False with `lines` empty and
// `error` set when the answer holds no route.
bool ParseOsrmAnswer(const std::string& answer, TServiceResultList& lines, std::string& error);

}  // namespace wy
