#pragma once
// The converter's short way: a GPX document read straight into a GeoJSON
// or GPX file, shape by shape and point by point, with no shapes or shape
// text in between. What comes out is what the way through the shapes
// writes (names, attributes, elevations, times, track segments, the
// default line style).

#include <cstddef>
#include <functional>
#include <string>

#include "formats/export_file.h"

namespace wy {

enum TStreamResult : uint8_t { srDone, srNoShapes, srCannotWrite };

struct TStreamCounts {
  size_t markers = 0, lines = 0, points = 0;
};

// Whether a document of `from` (an export kind naming its format) goes to
// `to` the short way.
bool CanStreamConvert(TExportKind from, TExportKind to);

class TShapeSink;

// Converts a GPX document into the file `out` of kind `to` (GPX or
// GeoJSON): `read` hands the document's shapes to the sink it is given and
// says whether there was one; `bytes` is about the document's size.
// Nothing is written unless the document holds a shape.
using TShapeReader = std::function<bool(TShapeSink& sink)>;
TStreamResult StreamConvert(const TShapeReader& read, size_t bytes, TExportKind to,
                            const std::string& out, TStreamCounts& counts);

}  // namespace wy
