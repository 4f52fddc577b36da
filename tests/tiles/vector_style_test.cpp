// The style subset: filters in both forms, zoom functions, colours and
// text fields, evaluated against decoded features.

#include "tiles/vector_style.h"

#include <gtest/gtest.h>

namespace wy {
namespace {

using nlohmann::json;

// One layer with one feature of the given properties and type.
struct TFeatureFixture {
  TVectorLayer Layer;
  TStyleContext Context;
  TFeatureFixture(std::vector<std::pair<std::string, TVectorValue>> properties,
                  TVectorGeomType type = vgPolygon, double zoom = 12) {
    TVectorFeature feature;
    feature.Type = type;
    feature.HasId = true;
    feature.Id = 7;
    for (auto& [key, value] : properties) {
      feature.Tags.push_back(static_cast<uint32_t>(Layer.Keys.size()));
      feature.Tags.push_back(static_cast<uint32_t>(Layer.Values.size()));
      Layer.Keys.push_back(key);
      Layer.Values.push_back(value);
    }
    Layer.Features.push_back(feature);
    Context.Zoom = zoom;
    Context.Layer = &Layer;
    Context.Feature = &Layer.Features[0];
  }
};

TVectorValue Text(const std::string& text) {
  TVectorValue v;
  v.Type = vvString;
  v.Text = text;
  return v;
}

TVectorValue Number(double n) {
  TVectorValue v;
  v.Type = vvDouble;
  v.Number = n;
  return v;
}

TVectorValue Int(int64_t n) {
  TVectorValue v;
  v.Type = vvInt;
  v.Int = n;
  v.Number = static_cast<double>(n);
  return v;
}

TEST(VectorStyleTest, FiltersInBothForms) {
  const TFeatureFixture park(
      {{"class", Text("park")}, {"admin_level", Int(2)}, {"height", Number(12.5)}});
  const struct {
    const char* Filter;
    bool Matches;
  } cases[] = {
      {R"(["==", "class", "park"])", true},
      {R"(["==", ["get", "class"], "park"])", true},
      {R"(["!=", "class", "park"])", false},
      {R"(["==", "admin_level", 2])", true},  // integer and number agree
      {R"(["==", "admin_level", 2.0])", true},
      {R"([">", "height", 12])", true},
      {R"(["<=", ["get", "height"], 12])", false},
      {R"(["<", "class", 3])", false},  // text and number do not compare
      {R"(["in", "class", "wood", "park"])", true},
      {R"(["!in", "class", "wood", "park"])", false},
      {R"(["in", ["get", "class"], ["literal", ["wood", "park"]]])", true},
      {R"(["has", "height"])", true},
      {R"(["!has", "height"])", false},
      {R"(["has", "name"])", false},
      {R"(["==", "$type", "Polygon"])", true},
      {R"(["==", ["geometry-type"], "LineString"])", false},
      {R"(["all", ["==", "class", "park"], [">=", ["zoom"], 12]])", true},
      {R"(["all", ["==", "class", "park"], [">", ["zoom"], 12]])", false},
      {R"(["any", ["==", "class", "x"], ["has", "height"]])", true},
      {R"(["none", ["==", "class", "x"], ["has", "height"]])", false},
      {R"(["!", ["has", "name"]])", true},
      {R"(["match", ["get", "class"], ["wood", "park"], true, false])", true},
      {R"(["match", ["get", "class"], "wood", true, false])", false},
      {R"(["==", "$id", 7])", true},
      {"true", true},
      {R"(["unknown-operator", 1])", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StyleFilterMatches(json::parse(c.Filter), park.Context), c.Matches) << c.Filter;
}

TEST(VectorStyleTest, ZoomFunctionsAndExpressions) {
  const TFeatureFixture f({{"class", Text("trunk")}, {"rank", Int(3)}});
  TStyleContext at = f.Context;
  const struct {
    const char* Value;
    double Zoom, Expected;
  } numbers[] = {
      {R"({"stops": [[10, 1], [14, 5]]})", 9, 1},
      {R"({"stops": [[10, 1], [14, 5]]})", 12, 3},
      {R"({"stops": [[10, 1], [14, 5]]})", 20, 5},
      {R"({"base": 2, "stops": [[10, 0], [12, 3]]})", 11, 1},  // (2^1 - 1) / (2^2 - 1) * 3
      {R"(["interpolate", ["linear"], ["zoom"], 10, 2, 20, 12])", 15, 7},
      {R"(["interpolate", ["exponential", 2], ["zoom"], 10, 0, 12, 3])", 11, 1},
      {R"(["step", ["zoom"], 1, 10, 2, 14, 3])", 9, 1},
      {R"(["step", ["zoom"], 1, 10, 2, 14, 3])", 10, 2},
      {R"(["step", ["zoom"], 1, 10, 2, 14, 3])", 18, 3},
      {R"(["match", ["get", "class"], "trunk", 4, 1])", 0, 4},
      {R"(["*", ["get", "rank"], 2])", 0, 6},
      {"5", 0, 5},
  };
  for (const auto& c : numbers) {
    at.Zoom = c.Zoom;
    EXPECT_DOUBLE_EQ(TStyleValue(json::parse(c.Value)).Number(at, -1), c.Expected)
        << c.Value << " at " << c.Zoom;
  }
  // Colours between stops blend channel by channel.
  at.Zoom = 15;
  const QColor mid = TStyleValue(json::parse(R"(["interpolate", ["linear"], ["zoom"],
      10, "#000000", 20, "#ffffff"])"))
                         .Color(at, Qt::red);
  EXPECT_NEAR(mid.red(), 128, 1);
  EXPECT_EQ(TStyleValue(json::parse(R"("not a colour")")).Color(at, Qt::red), QColor(Qt::red));
  EXPECT_TRUE(TStyleValue(json::parse(R"(["get", "class"])")).PerFeature());
  EXPECT_FALSE(TStyleValue(json::parse(R"(["interpolate", ["linear"], ["zoom"], 1, 2, 3, 4])"))
                   .PerFeature());
}

TEST(VectorStyleTest, TextFields) {
  const TFeatureFixture f({{"name", Text("Wyton")}, {"name:latin", Text("")}, {"ele", Int(812)}});
  const struct {
    const char* Field;
    const char* Text;
  } cases[] = {
      {R"("{name}")", "Wyton"},
      {R"x("{name} ({ele} m)")x", "Wyton (812 m)"},
      {R"("{missing}x")", "x"},
      {R"(["get", "name"])", "Wyton"},
      {R"(["coalesce", ["get", "name:latin"], ["get", "name:en"], ["get", "name"]])", "Wyton"},
      {R"(["concat", ["get", "name"], " ", ["get", "ele"]])", "Wyton 812"},
      {R"(["upcase", ["get", "name"]])", "WYTON"},
      {R"(["to-string", ["get", "ele"]])", "812"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TStyleValue(json::parse(c.Field)).Text(f.Context), c.Text) << c.Field;
}

TEST(VectorStyleTest, CssColours) {
  const struct {
    const char* Text;
    QColor Colour;
  } cases[] = {
      {"#abc", QColor(0xaa, 0xbb, 0xcc)},
      {"#aabbcc", QColor(0xaa, 0xbb, 0xcc)},
      {"#aabbcc80", QColor(0xaa, 0xbb, 0xcc, 0x80)},
      {"rgb(10, 20, 30)", QColor(10, 20, 30)},
      {"rgba(10,20,30,0.5)", QColor(10, 20, 30, 128)},
      {"hsl(0, 100%, 50%)", QColor(255, 0, 0)},
      {"hsla(120, 100%, 25%, 1)", QColor(0, 128, 0)},
      {"white", QColor(255, 255, 255)},
  };
  for (const auto& c : cases) {
    const QColor got = ParseCssColor(c.Text);
    ASSERT_TRUE(got.isValid()) << c.Text;
    EXPECT_NEAR(got.red(), c.Colour.red(), 1) << c.Text;
    EXPECT_NEAR(got.green(), c.Colour.green(), 1) << c.Text;
    EXPECT_NEAR(got.blue(), c.Colour.blue(), 1) << c.Text;
    EXPECT_NEAR(got.alpha(), c.Colour.alpha(), 1) << c.Text;
  }
  for (const char* bad : {"", "rgb(1,2)", "rgb(a,b,c)", "#12", "nocolour"})
    EXPECT_FALSE(ParseCssColor(bad).isValid()) << bad;
}

TEST(VectorStyleTest, DocumentsAndTheBuiltInStyle) {
  std::string error;
  EXPECT_FALSE(TVectorStyle::Parse("[]", error));
  EXPECT_FALSE(TVectorStyle::Parse(R"({"version": 8})", error));
  EXPECT_NE(error.find("layers"), std::string::npos);
  // Unknown layer types and properties are left out, the rest kept.
  auto style = TVectorStyle::Parse(R"({"layers": [
      {"id": "a", "type": "raster"},
      {"id": "b", "type": "line", "source-layer": "roads", "minzoom": 5, "maxzoom": 9,
       "layout": {"visibility": "none", "line-miter-limit": 2},
       "paint": {"line-color": "#f00", "line-gap-width": 3}}]})",
                                   error);
  ASSERT_TRUE(style) << error;
  ASSERT_EQ(style->Layers().size(), 1u);
  const TStyleLayer& line = style->Layers()[0];
  EXPECT_EQ(line.Type, slLine);
  EXPECT_EQ(line.SourceLayer, "roads");
  EXPECT_EQ(line.MinZoom, 5);
  EXPECT_EQ(line.MaxZoom, 9);
  EXPECT_FALSE(line.Visible);
  EXPECT_TRUE(line.LineColor.IsSet());
  auto builtIn = TVectorStyle::Default();
  ASSERT_TRUE(builtIn);
  EXPECT_GT(builtIn->Layers().size(), 20u);
}

}  // namespace
}  // namespace wy
