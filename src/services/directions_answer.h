#pragma once
// Readers of the open directions and elevation services' answers, and the
// request text of a route through a list of coordinates.
//
// A directions result list with n shape points has n + 2 lines:
//   0 .. n-1  "lat,lng" as the answer wrote them; the point where manoeuvre
//             k starts has ",<metres>,<narrative>" appended, the metres
//             being the sum of the rounded lengths of manoeuvres 0 .. k;
//   n         the summary "<metres>,<seconds>" ("" without a distance);
//   n + 1     "raw=" + the answer with CR, LF and "=" escaped.
// An answer without manoeuvre indexes gives the summary and raw lines only.
//
// Pure functions, thread-safe.

#include <string>
#include <vector>

#include "geo/route_path.h"
#include "services/geocoding.h"

namespace wy {

// "from=v0,v1&to=v2,v3&to=..&" for latitude, longitude pairs; "" for fewer
// than 4 values or an odd count.
std::string RouteFromToText(const std::vector<double>& points);

// The raw line closing every directions result list.
std::string RawAnswerLine(const std::string& answer);

// Fills `lines` from a directions answer ("\/" already read as "/"): the
// raw line, and when `json` the points and summary before it. A malformed
// list of manoeuvres (an index that is no whole number or has no
// narrative) ends the reading there; what was read stays.
void ParseDirectionsAnswer(const std::string& answer, bool json, TServiceResultList& lines);

// The heights of an elevation profile answer, whole metres (halves to even,
// the service's -32768 as -9999), one line each. Numbers are read with "."
// whatever the user's locale. False with `lines` empty when a height is
// unreadable.
bool ParseElevationAnswer(const std::string& answer, TServiceResultList& lines);

// Builds a route path from a directions result list: a point per line
// before the summary (altitude unknown, distance the third field,
// instructions the rest after the third comma), Distance and Duration from
// the summary. False (path emptied) when the list has no shape line.
bool FillRoutePathFromLines(const TServiceResultList& lines, TWyRoutePath& path);

// The nearest whole number (halves to even); false when not finite or
// outside the range of int.
bool RoundWhole(double value, int& whole);

// Whole metres of a length in kilometres (halves to even); false when the
// text is no number or out of range.
bool KilometresToMetres(const std::string& text, int& metres);

}  // namespace wy
