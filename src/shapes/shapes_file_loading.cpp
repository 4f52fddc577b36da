// Loading shape files into a group or the registry: synchronously, and in
// the background through a conversion the group owns.

#include <utility>

#include "formats/shape_file.h"
#include "platform/log.h"
#include "platform/window_thread.h"
#include "shapes/shape_conversion.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// Shapes of every kind but info windows, which only ever come with others.
int32_t CountShapes(const TWyShapes& group) {
  return group.Pois()->Count() + group.Markers()->Count() + group.Lines()->Count() +
         group.Polygones()->Count();
}

int32_t CountShapes(const TWyShapesGroup& registry) {
  int32_t count = 0;
  for (const TWyShapes* group : registry.Groups()) count += CountShapes(*group);
  return count;
}

}  // namespace

bool TWyShapes::LoadFromFile(const std::string& filename) {
  const std::string text = LoadShapeFile(filename);
  if (!HasShapeRecords(text)) return false;
  SetToTxt(text);
  return true;
}

void TWyShapes::ConvertInBackground(TShapeSourceKind kind, std::string text) {
  FConversion.reset();
  if (!HasWindowThreadQueue()) {
    // Nobody would deliver a worker's result: convert here.
    TShapeConversion::TResult result = TShapeConversion::Run(kind, std::move(text), "", {});
    BackgroundLoaded(result.Kind, result.Text, result.Error, {});
    return;
  }
  FConversion =
      TShapeConversion::FromText(kind, std::move(text), [this](TShapeConversion::TResult& result) {
        BackgroundLoaded(result.Kind, result.Text, result.Error, {});
      });
}

void TWyShapes::LoadInBackground(const std::string& source,
                                 std::function<void(const std::string&)> readOwnText) {
  FConversion.reset();
  if (!HasWindowThreadQueue()) {
    TShapeConversion::TResult result = TShapeConversion::Run(skError, "", source, {});
    BackgroundLoaded(result.Kind, result.Text, result.Error, readOwnText);
    return;
  }
  FConversion = TShapeConversion::FromSource(
      source, [this, readOwnText = std::move(readOwnText)](TShapeConversion::TResult& result) {
        BackgroundLoaded(result.Kind, result.Text, result.Error, readOwnText);
      });
}

void TWyShapes::BackgroundLoaded(TShapeSourceKind kind, const std::string& text,
                                 const std::string& error,
                                 const std::function<void(const std::string&)>& readOwnText) {
  // The worker posted this as its last act: the wait for it is short. The
  // conversion goes before anything is read, so that the group is no longer
  // loading when its host raises the load event.
  FConversion.reset();
  FLoadedCount = 0;
  if (kind == skError) {
    FLoadError = error;
    LogWarning("shapes", "loading into group \"" + FName + "\": " + error);
    NotifyLoaded();
    return;
  }
  FLoadError.clear();
  const int32_t before = FOwner ? CountShapes(*FOwner) : CountShapes(*this);
  if (kind == skText && readOwnText) {
    readOwnText(text);
  } else if (kind == skText && FOwner) {
    FOwner->SetToTxt(text);
  } else {
    SetToTxt(text);
  }
  FLoadedCount = (FOwner ? CountShapes(*FOwner) : CountShapes(*this)) - before;
}

void TWyShapes::CancelLoading() {
  if (!FConversion) return;
  FConversion.reset();
  FLoadedCount = 0;
  FLoadError = "cancelled";
  NotifyLoaded();
}

void TWyShapes::NotifyLoaded() {
  if (TWyShapesHost* host = FOwner ? FOwner->Parent() : nullptr) host->GroupLoaded(this);
}

bool TWyShapesGroup::ReadConvertedText(const std::string& text) {
  if (!HasShapeRecords(text)) return false;
  getShapes("")->SetToTxt(text);
  return true;
}

bool TWyShapesGroup::isLoading() const {
  if (FisLoading) return true;
  for (const TWyShapes* group : Groups())
    if (group->isLoading()) return true;
  return false;
}

bool TWyShapesGroup::LoadFromFile(const std::string& filename) {
  return LoadSource(filename, {});
}

bool TWyShapesGroup::LoadSource(const std::string& filename,
                                const std::function<void(const std::string&)>& readOwnText) {
  if (isLoading()) return false;
  TWyShapes* target = getShapes("");
  if (IsWebAddress(filename) && HasWindowThreadQueue()) {
    target->LoadInBackground(filename, readOwnText);
    return true;
  }
  std::string text;
  std::string error;
  const TShapeSourceKind kind = ReadShapeSource(filename, text, {}, error);
  if (kind == skError) return false;
  if (kind == skText) {
    if (!HasShapeRecords(text)) return false;
    if (readOwnText) {
      readOwnText(text);
    } else {
      SetToTxt(text);
    }
    return true;
  }
  target->ConvertInBackground(kind, std::move(text));
  return true;
}

void TWyShapesGroup::SetToGpx(const std::string& value) {
  getShapes("")->SetToGpx(value);
}
void TWyShapesGroup::SetToKml(const std::string& value) {
  getShapes("")->SetToKml(value);
}
void TWyShapesGroup::SetToGeoJSon(const std::string& value) {
  getShapes("")->SetToGeoJSon(value);
}

void TWyShapesGroup::CancelLoading() {
  for (TWyShapes* group : Groups()) group->CancelLoading();
}

}  // namespace wy
