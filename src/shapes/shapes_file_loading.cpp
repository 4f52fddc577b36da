// Synchronous loading of shape files into a group or the registry.

#include "formats/shape_file.h"
#include "shapes/shapes_group.h"

namespace wy {

bool TWyShapes::LoadFromFile(const std::string& filename) {
  const std::string text = LoadShapeFile(filename);
  if (!HasShapeRecords(text)) return false;
  SetToTxt(text);
  return true;
}

bool TWyShapesGroup::ReadConvertedText(const std::string& text) {
  if (!HasShapeRecords(text)) return false;
  getShapes("")->SetToTxt(text);
  return true;
}

bool TWyShapesGroup::LoadFromFile(const std::string& filename) {
  if (isLoading()) return false;
  std::string text;
  const TShapeSourceKind kind = ReadShapeSource(filename, text);
  if (kind == skError) return false;
  if (kind == skText) {
    if (!HasShapeRecords(text)) return false;
    SetToTxt(text);
    return true;
  }
  return ReadConvertedText(ConvertShapeText(kind, std::move(text)));
}

}  // namespace wy
