#include "tools/wymap_tracks.h"

#include "formats/shape_file.h"
#include "shapes/shape_track.h"
#include "tools/wymap_headless_shapes.h"

namespace wy {

bool ReadTracks(const std::string& file, std::vector<TTrack>& tracks, std::string& error) {
  tracks.clear();
  std::string text;
  const TShapeSourceKind kind = ReadShapeSource(file, text);
  if (kind == skError) {
    error = "cannot read " + file;
    return false;
  }
  std::string stop;
  const std::string shapes = ConvertShapeText(kind, std::move(text), stop);
  if (!HasShapeRecords(shapes)) {
    error = NoShapesText(file, stop);
    return false;
  }
  THeadlessShapes headless(kind, shapes);
  TWyShapesGroup& registry = headless.Registry();
  for (TWyShapes* group : registry.Groups()) {
    if (!group->Serialize()) continue;
    for (TLineTrack& t : TracksFromLines(*group)) tracks.push_back(std::move(t.Track));
  }
  return true;
}

}  // namespace wy
