#pragma once
// The tracks of a file of shapes for the track commands (stats, profile):
// every format the map reads (own text, GPX, KML, KMZ, GeoJSON, local or
// http(s)), read without a window; each open line of a saved group is a
// track (see shapes/shape_track.h).

#include <string>
#include <vector>

#include "geo/track.h"

namespace wy {

// False with a reason ("cannot read FILE", "no shapes in FILE") when the
// file gives no shapes; true (maybe with no track) otherwise. Needs an
// application object (a QGuiApplication at least: TToolApplication).
bool ReadTracks(const std::string& file, std::vector<TTrack>& tracks, std::string& error);

}  // namespace wy
