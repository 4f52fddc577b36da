#include "shapes/shape_track.h"

#include <algorithm>
#include <string>

#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// A track's name: the recorded name where the file gave one, else the hint,
// else the shape's name (maybe empty).
std::string TrackName(const TWyShapeLine& line) {
  const std::string& recorded = line.Attributes().Get("name");
  if (!recorded.empty()) return recorded;
  return !line.Hint().empty() ? line.Hint() : line.Name();
}

void AddPoints(const TWyShapeLine& line, TTrack& track) {
  for (int32_t i = 0; i < line.Count(); ++i) {
    const TWyPointLine& p = *line.getPoints(i);
    TTrackPoint t;
    t.Lat = p.Lat();
    t.Lng = p.Lng();
    if (p.Alt() != TWyShape::kNoAltitude) t.Ele = p.Alt();
    if (p.HasTime()) t.Time = p.Time();
    track.Add(t);
  }
}

}  // namespace

TTrack TrackFromLine(const TWyShapeLine& line) {
  TTrack track;
  track.Name = TrackName(line);
  track.Points.reserve(static_cast<size_t>(line.Count()));
  AddPoints(line, track);
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
    AddPoints(*line, fresh);
  }
  fresh.Name = name;
  track.Track = std::move(fresh);
}

// Consecutive lines with the same track key are the segments of one track
// (the segments of a GPX track, the parts of a multi-part feature); a line
// without a key is a track of its own.
std::vector<TLineTrack> TracksFromLines(const TWyShapes& group) {
  std::vector<TLineTrack> tracks;
  TWyShapeLineList* lines = group.Lines();
  std::string openKey;
  for (int32_t i = 0; i < lines->Count(); ++i) {
    TWyShapeLine* line = lines->Items(i);
    if (line->Count() < 1) continue;
    const std::string key = TrackKeyOf(*line);
    if (key.empty() || key != openKey || tracks.empty()) {
      TLineTrack t;
      t.Track.Name = TrackName(*line);
      tracks.push_back(std::move(t));
    }
    openKey = key;
    TLineTrack& t = tracks.back();
    t.Track.StartSegment();
    AddPoints(*line, t.Track);
    t.Lines.push_back(line);
  }
  return tracks;
}

}  // namespace wy
