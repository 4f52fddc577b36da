#pragma once
// The shapes as recorded tracks for the track statistics and the elevation
// profile (geo/track.h): every reading of a line into a track goes through
// TrackFromLine, and every grouping of lines into tracks through
// TracksFromLines, so that what a line carries reaches the figures in one
// place.
//
// Window thread only (it reads the shapes).

#include <vector>

#include "geo/track.h"

namespace wy {

class TWyShapeLine;
class TWyShapes;

// One line as a track of one segment: positions, elevations (a point
// without altitude has none) and times; named after the line's hint, else
// its name (maybe empty).
TTrack TrackFromLine(const TWyShapeLine& line);

// A track and the lines it was read from, in the order of its segments.
struct TLineTrack {
  TTrack Track;
  std::vector<TWyShapeLine*> Lines;
  // The line of point `index` of the track, and that point's index on it.
  TWyShapeLine* LineOfPoint(size_t index, int32_t& pointOnLine) const;
  // The track's index of point `pointOnLine` of `line`; false when the line
  // is not part of the track.
  bool PointOfLine(const TWyShapeLine* line, int32_t pointOnLine, size_t& index) const;
};

// Reads the track again from its lines (after their points changed, e.g.
// when their altitudes were fetched); keeps its name.
void RereadTrack(TLineTrack& track);

// The open lines (not polygons) of a group, as tracks; lines with fewer
// than one point are left out.
std::vector<TLineTrack> TracksFromLines(const TWyShapes& group);

}  // namespace wy
