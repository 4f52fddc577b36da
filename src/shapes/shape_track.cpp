#include "shapes/shape_track.h"

#include <algorithm>
#include <string>

#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

TTrack TrackFromLine(const TWyShapeLine& line) {
  TTrack track;
  track.Name = !line.Hint().empty() ? line.Hint() : line.Name();
  track.Points.reserve(static_cast<size_t>(line.Count()));
  for (int32_t i = 0; i < line.Count(); ++i) {
    const TWyPointLine& p = *line.getPoints(i);
    TTrackPoint t;
    t.Lat = p.Lat();
    t.Lng = p.Lng();
    if (p.Alt() != TWyShape::kNoAltitude) t.Ele = p.Alt();
    // times: filled once lines carry them
    track.Add(t);
  }
  return track;
}

TWyShapeLine* TLineTrack::LineOfPoint(size_t index, int32_t& pointOnLine) const {
  if (Lines.empty() || index >= Track.Points.size()) return nullptr;
  const size_t segment = Track.SegmentOf(index);
  if (segment >= Lines.size()) return nullptr;
  pointOnLine = static_cast<int32_t>(index - Track.SegmentBegin(segment));
  return Lines[segment];
}

bool TLineTrack::PointOfLine(const TWyShapeLine* line, int32_t pointOnLine, size_t& index) const {
  for (size_t s = 0; s < Lines.size() && s < Track.SegmentCount(); ++s) {
    if (Lines[s] != line) continue;
    const size_t b = Track.SegmentBegin(s), e = Track.SegmentEnd(s);
    if (pointOnLine < 0) pointOnLine = 0;
    index = std::min(b + static_cast<size_t>(pointOnLine), e - 1);
    return true;
  }
  return false;
}

void RereadTrack(TLineTrack& track) {
  const std::string name = track.Track.Name;
  TTrack fresh;
  for (TWyShapeLine* line : track.Lines) {
    fresh.StartSegment();
    for (const TTrackPoint& p : TrackFromLine(*line).Points) fresh.Add(p);
  }
  fresh.Name = name;
  track.Track = std::move(fresh);
}

// One line is one track for now; the lines of one recorded track become
// its segments once lines say which track they came from.
std::vector<TLineTrack> TracksFromLines(const TWyShapes& group) {
  std::vector<TLineTrack> tracks;
  TWyShapeLineList* lines = group.Lines();
  for (int32_t i = 0; i < lines->Count(); ++i) {
    TWyShapeLine* line = lines->Items(i);
    if (line->Count() < 1) continue;
    TLineTrack t;
    t.Track = TrackFromLine(*line);
    t.Lines.push_back(line);
    tracks.push_back(std::move(t));
  }
  return tracks;
}

}  // namespace wy
