#pragma once
// TVectorStyle: the part of a MapLibre style document this map draws with.
//
// Layers of type background, fill, line, circle and symbol (text; icons are
// not drawn), each with its source layer, zoom range and filter; paint and
// layout values as constants, zoom functions ("stops") or expressions.
// Filters may be written in the legacy form (["==", "class", "park"]) or as
// expressions (["==", ["get", "class"], "park"]). Everything else in the
// document is ignored: each property name that is not understood is logged
// once per process, never an error.
//
// Zoom: styles are written for 512-pixel tiles, this map's tiles are 256
// pixels. The style is evaluated at the map's zoom minus one, so widths and
// zoom ranges look as their author meant.

#include <QColor>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tiles/vector_tile.h"

namespace wy {

enum TStyleLayerType : uint8_t { slBackground, slFill, slLine, slCircle, slSymbol };

// What an expression is evaluated against; Layer and Feature may be null
// (layer-wide values).
struct TStyleContext {
  double Zoom = 0;
  const TVectorLayer* Layer = nullptr;
  const TVectorFeature* Feature = nullptr;
};

// One paint or layout value.
class TStyleValue {
 public:
  TStyleValue() = default;
  explicit TStyleValue(nlohmann::json value);
  bool IsSet() const { return !FValue.is_null(); }
  // True when the value reads feature properties (evaluated per feature).
  bool PerFeature() const { return FPerFeature; }
  nlohmann::json Evaluate(const TStyleContext& context) const;
  double Number(const TStyleContext& context, double fallback) const;
  QColor Color(const TStyleContext& context, const QColor& fallback) const;
  std::string Text(const TStyleContext& context) const;
  std::vector<double> Numbers(const TStyleContext& context) const;
  std::vector<std::string> Strings(const TStyleContext& context) const;

 private:
  nlohmann::json FValue;
  bool FPerFeature = false;
};

struct TStyleLayer {
  std::string Id;
  TStyleLayerType Type = slFill;
  std::string SourceLayer;
  double MinZoom = 0;
  double MaxZoom = 24;
  bool Visible = true;
  nlohmann::json Filter;  // null: every feature
  // Paint
  TStyleValue BackgroundColor, BackgroundOpacity;
  TStyleValue FillColor, FillOpacity, FillOutlineColor;
  TStyleValue LineColor, LineWidth, LineOpacity, LineDashArray, LineCap, LineJoin;
  TStyleValue CircleColor, CircleRadius, CircleOpacity, CircleStrokeColor, CircleStrokeWidth;
  TStyleValue TextColor, TextHaloColor, TextHaloWidth, TextOpacity;
  // Layout
  TStyleValue TextField, TextSize, TextFont, TextTransform, TextMaxWidth, SymbolPlacement,
      SymbolSortKey, TextOffset;
};

class TVectorStyle {
 public:
  // The style of a document, or null with the reason in `error`.
  static std::shared_ptr<TVectorStyle> Parse(const std::string& text, std::string& error);
  // The built-in style for sources of the OpenMapTiles schema.
  static std::shared_ptr<TVectorStyle> Default();

  const std::vector<TStyleLayer>& Layers() const { return FLayers; }
  const std::string& Name() const { return FName; }

 private:
  std::vector<TStyleLayer> FLayers;
  std::string FName;
};

// True when `feature` of `layer` passes `filter` at `context.Zoom` (legacy or
// expression form).
bool StyleFilterMatches(const nlohmann::json& filter, const TStyleContext& context);

// A CSS colour ("#rgb", "#rrggbb", "#rrggbbaa", "rgb()", "rgba()", "hsl()",
// "hsla()" or a name); invalid when the text is none.
QColor ParseCssColor(const std::string& text);

}  // namespace wy
