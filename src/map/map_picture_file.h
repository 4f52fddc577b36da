#pragma once
// Writing what a map renderer shows to a picture file.

#include <cstdint>
#include <string>

namespace wy {

class TMapRenderer;

// Picture file kinds, by the extension of the file name (letter case
// ignored): ".pdf", ".svg", anything else PNG.
enum TMapPictureKind : uint8_t { mpkPng, mpkPdf, mpkSvg };
TMapPictureKind MapPictureKindOf(const std::string& path);

// Writes the renderer's view (tiles, shapes, attribution) to `path` in the
// kind its name gives:
// - PNG: the raster frame, as the map shows it, with the renderer's pixels;
// - PDF: one page of the view's size at `dpi` pixels per inch (96 makes
//   a pixel 3/4 of a point; the page has whole points), tiles as images, shapes, text and
//   attribution as vectors;
// - SVG: a drawing of the view's size in pixels, the same way.
// The renderer fetches its tiles from its layers; those not yet arrived
// show their placeholders. The file is replaced only once whole. False,
// with the reason in `error`, when it cannot be written.
bool WriteMapPicture(TMapRenderer& renderer, const std::string& path, double dpi,
                     std::string& error);

}  // namespace wy
