#include "tiles/vector_style.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

#include "platform/log.h"
#include "tiles/vector_style_data.h"

namespace wy {

namespace {

using nlohmann::json;

// Each property or operator name that is not understood is logged once.
void Unsupported(const std::string& what) {
  static std::mutex mutex;
  static std::set<std::string> logged;
  std::lock_guard<std::mutex> lock(mutex);
  if (logged.insert(what).second) LogInfo("tiles", "vector style: " + what + " is not supported");
}

json PropertyValue(const TStyleContext& c, const std::string& key) {
  if (!c.Layer || !c.Feature) return nullptr;
  const TVectorValue* value = c.Layer->Property(*c.Feature, key);
  if (!value) return nullptr;
  switch (value->Type) {
    case vvString:
      return value->Text;
    case vvBool:
      return value->Bool;
    case vvInt:
    case vvSInt:
      return value->Int;
    case vvUInt:
      return value->UInt;
    default:
      return value->Number;
  }
}

json GeometryType(const TStyleContext& c) {
  if (!c.Feature) return nullptr;
  switch (c.Feature->Type) {
    case vgPoint:
      return "Point";
    case vgLine:
      return "LineString";
    case vgPolygon:
      return "Polygon";
    default:
      return "Unknown";
  }
}

json Eval(const json& e, const TStyleContext& c);

bool Truthy(const json& v) {
  if (v.is_boolean()) return v.get<bool>();
  if (v.is_null()) return false;
  if (v.is_number()) return v.get<double>() != 0;
  if (v.is_string()) return !v.get_ref<const std::string&>().empty();
  return true;
}

// Equality across number kinds: 3 and 3.0 are one value.
bool Same(const json& a, const json& b) {
  if (a.is_number() && b.is_number()) return a.get<double>() == b.get<double>();
  return a == b;
}

int Compare(const json& a, const json& b, bool& comparable) {
  comparable = true;
  if (a.is_number() && b.is_number()) {
    const double x = a.get<double>(), y = b.get<double>();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.is_string() && b.is_string()) {
    const auto& x = a.get_ref<const std::string&>();
    const auto& y = b.get_ref<const std::string&>();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  comparable = false;
  return 0;
}

bool CompareOp(const std::string& op, const json& a, const json& b) {
  if (op == "==") return Same(a, b);
  if (op == "!=") return !Same(a, b);
  bool comparable;
  const int order = Compare(a, b, comparable);
  if (!comparable) return false;
  if (op == "<") return order < 0;
  if (op == "<=") return order <= 0;
  if (op == ">") return order > 0;
  return order >= 0;
}

bool IsCompare(const std::string& op) {
  return op == "==" || op == "!=" || op == "<" || op == "<=" || op == ">" || op == ">=";
}

// A key of a legacy filter: a property, or "$type" / "$id".
json LegacyKey(const std::string& key, const TStyleContext& c) {
  if (key == "$type") return GeometryType(c);
  if (key == "$id") return c.Feature && c.Feature->HasId ? json(c.Feature->Id) : json(nullptr);
  return PropertyValue(c, key);
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  auto lerp = [t](double x, double y) { return x + (y - x) * t; };
  return QColor::fromRgbF(static_cast<float>(lerp(a.redF(), b.redF())),
                          static_cast<float>(lerp(a.greenF(), b.greenF())),
                          static_cast<float>(lerp(a.blueF(), b.blueF())),
                          static_cast<float>(lerp(a.alphaF(), b.alphaF())));
}

// As CSS writes it: #rrggbbaa, alpha last.
std::string ColorText(const QColor& color) {
  static const char* const kHex = "0123456789abcdef";
  std::string text = "#";
  for (int channel : {color.red(), color.green(), color.blue(), color.alpha()}) {
    text += kHex[(channel >> 4) & 15];
    text += kHex[channel & 15];
  }
  return text;
}

// Between two stop values: numbers, colours or arrays of numbers.
json Interpolate(const json& a, const json& b, double t) {
  if (a.is_number() && b.is_number())
    return a.get<double>() + (b.get<double>() - a.get<double>()) * t;
  if (a.is_string() && b.is_string()) {
    const QColor x = ParseCssColor(a.get<std::string>()), y = ParseCssColor(b.get<std::string>());
    if (x.isValid() && y.isValid()) return ColorText(Mix(x, y, t));
  }
  if (a.is_array() && b.is_array() && a.size() == b.size()) {
    json out = json::array();
    for (size_t i = 0; i < a.size(); ++i) out.push_back(Interpolate(a[i], b[i], t));
    return out;
  }
  return t < 1 ? a : b;
}

double StopFraction(double input, double lower, double upper, double base) {
  const double span = upper - lower;
  if (span <= 0) return 0;
  const double progress = input - lower;
  if (base == 1) return progress / span;
  return (std::pow(base, progress) - 1) / (std::pow(base, span) - 1);
}

// A legacy function: {"stops": [[zoom, value], ...], "base": b}, or with
// "property" the feature's value in place of the zoom.
json EvalFunction(const json& f, const TStyleContext& c) {
  const json& stops = f["stops"];
  if (!stops.is_array() || stops.empty()) return nullptr;
  const double base = f.value("base", 1.0);
  const std::string type = f.value("type", f.contains("property") ? "categorical" : "exponential");
  json input = f.contains("property") ? PropertyValue(c, f.value("property", "")) : json(c.Zoom);
  if (type == "categorical") {
    for (const json& stop : stops)
      if (stop.is_array() && stop.size() == 2 && Same(stop[0], input)) return stop[1];
    return f.value("default", json(nullptr));
  }
  if (!input.is_number()) return f.value("default", json(nullptr));
  const double x = input.get<double>();
  for (size_t i = 0; i < stops.size(); ++i) {
    if (!stops[i].is_array() || stops[i].size() != 2 || !stops[i][0].is_number()) return nullptr;
    const double z = stops[i][0].get<double>();
    if (x < z) {
      if (i == 0) return stops[0][1];
      if (type == "interval") return stops[i - 1][1];
      const double z0 = stops[i - 1][0].get<double>();
      return Interpolate(stops[i - 1][1], stops[i][1], StopFraction(x, z0, z, base));
    }
  }
  return stops.back()[1];
}

json EvalInterpolate(const json& e, const TStyleContext& c) {
  if (e.size() < 5 || !e[1].is_array() || e[1].empty()) return nullptr;
  const std::string kind = e[1][0].is_string() ? e[1][0].get<std::string>() : "";
  double base = 1;
  if (kind == "exponential" && e[1].size() > 1 && e[1][1].is_number()) base = e[1][1].get<double>();
  const json input = Eval(e[2], c);
  if (!input.is_number()) return nullptr;
  const double x = input.get<double>();
  for (size_t i = 3; i + 1 < e.size(); i += 2) {
    const double z = e[i].is_number() ? e[i].get<double>() : 0;
    if (x < z) {
      if (i == 3) return Eval(e[4], c);
      const double z0 = e[i - 2].get<double>();
      return Interpolate(Eval(e[i - 1], c), Eval(e[i + 1], c), StopFraction(x, z0, z, base));
    }
  }
  return Eval(e[e.size() - 1], c);
}

json EvalStep(const json& e, const TStyleContext& c) {
  if (e.size() < 3) return nullptr;
  const json input = Eval(e[1], c);
  json out = Eval(e[2], c);
  if (!input.is_number()) return out;
  for (size_t i = 3; i + 1 < e.size(); i += 2) {
    if (!e[i].is_number() || input.get<double>() < e[i].get<double>()) break;
    out = Eval(e[i + 1], c);
  }
  return out;
}

bool EvalFilter(const json& f, const TStyleContext& c);

json EvalArray(const json& e, const TStyleContext& c) {
  const std::string op = e[0].get<std::string>();
  const size_t n = e.size();
  if (op == "get")
    return n >= 2 && e[1].is_string() ? PropertyValue(c, e[1].get<std::string>()) : json();
  if (op == "has")
    return n >= 2 && e[1].is_string() && !PropertyValue(c, e[1].get<std::string>()).is_null();
  if (op == "!has")
    return !(n >= 2 && e[1].is_string() && !PropertyValue(c, e[1].get<std::string>()).is_null());
  if (op == "zoom") return c.Zoom;
  if (op == "geometry-type") return GeometryType(c);
  if (op == "id") return c.Feature && c.Feature->HasId ? json(c.Feature->Id) : json();
  if (op == "literal") return n >= 2 ? e[1] : json();
  if (op == "all" || op == "any" || op == "none" || op == "!" || op == "in" || op == "!in" ||
      IsCompare(op))
    return EvalFilter(e, c);
  if (op == "match") {
    if (n < 3) return nullptr;
    const json input = Eval(e[1], c);
    for (size_t i = 2; i + 1 < n; i += 2) {
      const json& label = e[i];
      bool hit = false;
      if (label.is_array()) {
        for (const json& one : label) hit = hit || Same(one, input);
      } else {
        hit = Same(label, input);
      }
      if (hit) return Eval(e[i + 1], c);
    }
    return Eval(e[n - 1], c);
  }
  if (op == "case") {
    for (size_t i = 1; i + 1 < n; i += 2)
      if (Truthy(Eval(e[i], c))) return Eval(e[i + 1], c);
    return n % 2 == 0 ? Eval(e[n - 1], c) : json();
  }
  if (op == "coalesce") {
    for (size_t i = 1; i < n; ++i) {
      json v = Eval(e[i], c);
      if (!v.is_null() && !(v.is_string() && v.get_ref<const std::string&>().empty())) return v;
    }
    return nullptr;
  }
  if (op == "interpolate") return EvalInterpolate(e, c);
  if (op == "step") return EvalStep(e, c);
  if (op == "concat") {
    std::string text;
    for (size_t i = 1; i < n; ++i) {
      const json v = Eval(e[i], c);
      text += v.is_string() ? v.get<std::string>() : v.is_null() ? "" : v.dump();
    }
    return text;
  }
  if (op == "to-string") {
    const json v = n >= 2 ? Eval(e[1], c) : json();
    return v.is_string() ? v : v.is_null() ? json("") : json(v.dump());
  }
  if (op == "upcase" || op == "downcase") {
    json v = n >= 2 ? Eval(e[1], c) : json();
    if (!v.is_string()) return v;
    QString text = QString::fromStdString(v.get<std::string>());
    return (op == "upcase" ? text.toUpper() : text.toLower()).toStdString();
  }
  if (op == "to-number" || op == "number") {
    for (size_t i = 1; i < n; ++i) {
      const json v = Eval(e[i], c);
      if (v.is_number()) return v;
      if (v.is_string()) {
        // Always "." as the decimal separator.
        bool ok = false;
        const double d = QString::fromStdString(v.get<std::string>()).trimmed().toDouble(&ok);
        if (ok) return d;
      }
    }
    return nullptr;
  }
  if (op == "string" || op == "to-color" || op == "color" || op == "boolean") {
    for (size_t i = 1; i < n; ++i) {
      json v = Eval(e[i], c);
      if (!v.is_null()) return v;
    }
    return nullptr;
  }
  if (op == "+" || op == "*" || op == "-" || op == "/") {
    double acc = op == "*" ? 1 : 0;
    for (size_t i = 1; i < n; ++i) {
      const json v = Eval(e[i], c);
      const double d = v.is_number() ? v.get<double>() : 0;
      if (op == "+") acc += d;
      if (op == "*") acc *= d;
      if (op == "-") acc = i == 1 && n > 2 ? d : acc - d;
      if (op == "/") acc = i == 1 ? d : (d != 0 ? acc / d : 0);
    }
    return acc;
  }
  Unsupported("expression \"" + op + "\"");
  return nullptr;
}

json Eval(const json& e, const TStyleContext& c) {
  if (e.is_array()) {
    if (e.empty() || !e[0].is_string()) return e;
    return EvalArray(e, c);
  }
  if (e.is_object()) {
    if (e.contains("stops")) return EvalFunction(e, c);
    return nullptr;
  }
  return e;
}

bool EvalFilter(const json& f, const TStyleContext& c) {
  if (f.is_null()) return true;
  if (f.is_boolean()) return f.get<bool>();
  if (!f.is_array() || f.empty() || !f[0].is_string()) return false;
  const std::string op = f[0].get<std::string>();
  const size_t n = f.size();
  if (op == "all") {
    for (size_t i = 1; i < n; ++i)
      if (!EvalFilter(f[i], c)) return false;
    return true;
  }
  if (op == "any") {
    for (size_t i = 1; i < n; ++i)
      if (EvalFilter(f[i], c)) return true;
    return false;
  }
  if (op == "none") {
    for (size_t i = 1; i < n; ++i)
      if (EvalFilter(f[i], c)) return false;
    return true;
  }
  if (op == "!") return n >= 2 && !EvalFilter(f[1], c);
  // The legacy form names a key where the expression form has an expression.
  const bool legacy = n >= 2 && f[1].is_string();
  if (IsCompare(op) && n >= 3) {
    if (legacy) return CompareOp(op, LegacyKey(f[1].get<std::string>(), c), f[2]);
    return CompareOp(op, Eval(f[1], c), Eval(f[2], c));
  }
  if (op == "in" || op == "!in") {
    bool found = false;
    if (legacy && !(n == 3 && f[2].is_array() && !f[2].empty() && f[2][0] == "literal")) {
      const json value = LegacyKey(f[1].get<std::string>(), c);
      for (size_t i = 2; i < n && !found; ++i) found = Same(value, f[i]);
    } else if (n >= 3) {
      const json needle = Eval(f[1], c);
      const json haystack = Eval(f[2], c);
      if (haystack.is_array()) {
        for (const json& one : haystack) found = found || Same(one, needle);
      } else if (haystack.is_string() && needle.is_string()) {
        found = haystack.get<std::string>().find(needle.get<std::string>()) != std::string::npos;
      }
    }
    return op == "in" ? found : !found;
  }
  if (op == "has" || op == "!has") {
    const bool has = legacy && !LegacyKey(f[1].get<std::string>(), c).is_null();
    return op == "has" ? has : !has;
  }
  return Truthy(Eval(f, c));
}

// True when the expression reads the feature (so is evaluated per feature).
bool ReadsFeature(const json& e) {
  if (e.is_object()) return e.contains("property");
  // A legacy text field's {name} tokens.
  if (e.is_string()) return e.get_ref<const std::string&>().find('{') != std::string::npos;
  if (!e.is_array() || e.empty()) return false;
  if (e[0].is_string()) {
    const std::string op = e[0].get<std::string>();
    if (op == "get" || op == "has" || op == "geometry-type" || op == "id") return true;
    if (op == "literal") return false;
  }
  for (const json& part : e)
    if (ReadsFeature(part)) return true;
  return false;
}

// "{name}" tokens of a legacy text field.
std::string FillTokens(const std::string& text, const TStyleContext& c) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t open = text.find('{', i);
    if (open == std::string::npos) {
      out += text.substr(i);
      break;
    }
    const size_t close = text.find('}', open);
    if (close == std::string::npos) {
      out += text.substr(i);
      break;
    }
    out += text.substr(i, open - i);
    const json v = PropertyValue(c, text.substr(open + 1, close - open - 1));
    if (v.is_string())
      out += v.get<std::string>();
    else if (!v.is_null())
      out += v.dump();
    i = close + 1;
  }
  return out;
}

int Channel(const std::string& text, double scale) {
  const bool percent = !text.empty() && text.back() == '%';
  bool ok = false;
  const double v = QString::fromStdString(percent ? text.substr(0, text.size() - 1) : text)
                       .trimmed()
                       .toDouble(&ok);
  if (!ok) return -1;
  return std::clamp(static_cast<int>(std::lround(percent ? v * 2.55 : v * scale)), 0, 255);
}

}  // namespace

QColor ParseCssColor(const std::string& raw) {
  const QString text = QString::fromStdString(raw).trimmed().toLower();
  const int open = text.indexOf('(');
  if (open > 0 && text.endsWith(')')) {
    const QString function = text.left(open).trimmed();
    QStringList parts = text.mid(open + 1, text.size() - open - 2).split(',');
    if (parts.size() < 3) return QColor();
    double alpha = 1;
    if (parts.size() >= 4) {
      bool ok = false;
      alpha = parts[3].trimmed().toDouble(&ok);
      if (!ok) return QColor();
    }
    if (function == "rgb" || function == "rgba") {
      const int r = Channel(parts[0].trimmed().toStdString(), 1);
      const int g = Channel(parts[1].trimmed().toStdString(), 1);
      const int b = Channel(parts[2].trimmed().toStdString(), 1);
      if (r < 0 || g < 0 || b < 0) return QColor();
      return QColor(r, g, b, std::clamp(static_cast<int>(std::lround(alpha * 255)), 0, 255));
    }
    if (function == "hsl" || function == "hsla") {
      bool okH = false, okS = false, okL = false;
      const double h = parts[0].trimmed().toDouble(&okH);
      const double s = QString(parts[1]).remove('%').trimmed().toDouble(&okS);
      const double l = QString(parts[2]).remove('%').trimmed().toDouble(&okL);
      if (!okH || !okS || !okL) return QColor();
      const double hue = std::fmod(std::fmod(h, 360) + 360, 360) / 360;
      return QColor::fromHslF(static_cast<float>(hue),
                              static_cast<float>(std::clamp(s / 100, 0.0, 1.0)),
                              static_cast<float>(std::clamp(l / 100, 0.0, 1.0)),
                              static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
    }
    return QColor();
  }
  if (text.startsWith('#') && text.size() == 9) {
    // CSS puts alpha last; Qt reads #AARRGGBB.
    QColor color(QString("#") + text.mid(7, 2) + text.mid(1, 6));
    return color;
  }
  QColor color(text);
  return color;
}

TStyleValue::TStyleValue(json value)
    : FValue(std::move(value)), FPerFeature(ReadsFeature(FValue)) {}

json TStyleValue::Evaluate(const TStyleContext& context) const {
  return Eval(FValue, context);
}

double TStyleValue::Number(const TStyleContext& context, double fallback) const {
  if (FValue.is_null()) return fallback;
  const json v = Eval(FValue, context);
  return v.is_number() ? v.get<double>() : fallback;
}

QColor TStyleValue::Color(const TStyleContext& context, const QColor& fallback) const {
  if (FValue.is_null()) return fallback;
  const json v = Eval(FValue, context);
  if (!v.is_string()) return fallback;
  const QColor color = ParseCssColor(v.get<std::string>());
  return color.isValid() ? color : fallback;
}

std::string TStyleValue::Text(const TStyleContext& context) const {
  if (FValue.is_null()) return std::string();
  // A plain string is a legacy text with {name} tokens.
  if (FValue.is_string()) return FillTokens(FValue.get<std::string>(), context);
  const json v = Eval(FValue, context);
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
  if (v.is_number()) return v.dump();
  return std::string();
}

std::vector<double> TStyleValue::Numbers(const TStyleContext& context) const {
  std::vector<double> out;
  const json v = Eval(FValue, context);
  if (v.is_array())
    for (const json& one : v)
      if (one.is_number()) out.push_back(one.get<double>());
  return out;
}

std::vector<std::string> TStyleValue::Strings(const TStyleContext& context) const {
  std::vector<std::string> out;
  const json v = Eval(FValue, context);
  if (v.is_string()) out.push_back(v.get<std::string>());
  if (v.is_array())
    for (const json& one : v)
      if (one.is_string()) out.push_back(one.get<std::string>());
  return out;
}

bool StyleFilterMatches(const json& filter, const TStyleContext& context) {
  return EvalFilter(filter, context);
}

namespace {

struct TPropertySlot {
  const char* Name;
  TStyleValue TStyleLayer::*Slot;
  uint8_t Types;  // bit per TStyleLayerType
};

constexpr uint8_t Bit(TStyleLayerType t) {
  return static_cast<uint8_t>(1u << t);
}

const TPropertySlot kPaint[] = {
    {"background-color", &TStyleLayer::BackgroundColor, Bit(slBackground)},
    {"background-opacity", &TStyleLayer::BackgroundOpacity, Bit(slBackground)},
    {"fill-color", &TStyleLayer::FillColor, Bit(slFill)},
    {"fill-opacity", &TStyleLayer::FillOpacity, Bit(slFill)},
    {"fill-outline-color", &TStyleLayer::FillOutlineColor, Bit(slFill)},
    {"line-color", &TStyleLayer::LineColor, Bit(slLine)},
    {"line-width", &TStyleLayer::LineWidth, Bit(slLine)},
    {"line-opacity", &TStyleLayer::LineOpacity, Bit(slLine)},
    {"line-dasharray", &TStyleLayer::LineDashArray, Bit(slLine)},
    {"circle-color", &TStyleLayer::CircleColor, Bit(slCircle)},
    {"circle-radius", &TStyleLayer::CircleRadius, Bit(slCircle)},
    {"circle-opacity", &TStyleLayer::CircleOpacity, Bit(slCircle)},
    {"circle-stroke-color", &TStyleLayer::CircleStrokeColor, Bit(slCircle)},
    {"circle-stroke-width", &TStyleLayer::CircleStrokeWidth, Bit(slCircle)},
    {"text-color", &TStyleLayer::TextColor, Bit(slSymbol)},
    {"text-halo-color", &TStyleLayer::TextHaloColor, Bit(slSymbol)},
    {"text-halo-width", &TStyleLayer::TextHaloWidth, Bit(slSymbol)},
    {"text-opacity", &TStyleLayer::TextOpacity, Bit(slSymbol)},
};

const TPropertySlot kLayout[] = {
    {"line-cap", &TStyleLayer::LineCap, Bit(slLine)},
    {"line-join", &TStyleLayer::LineJoin, Bit(slLine)},
    {"text-field", &TStyleLayer::TextField, Bit(slSymbol)},
    {"text-size", &TStyleLayer::TextSize, Bit(slSymbol)},
    {"text-font", &TStyleLayer::TextFont, Bit(slSymbol)},
    {"text-transform", &TStyleLayer::TextTransform, Bit(slSymbol)},
    {"text-max-width", &TStyleLayer::TextMaxWidth, Bit(slSymbol)},
    {"text-offset", &TStyleLayer::TextOffset, Bit(slSymbol)},
    {"symbol-placement", &TStyleLayer::SymbolPlacement, Bit(slSymbol)},
    {"symbol-sort-key", &TStyleLayer::SymbolSortKey, Bit(slSymbol)},
};

template <size_t N>
void ReadProperties(const json& object, const TPropertySlot (&table)[N], TStyleLayer& layer,
                    const char* group) {
  if (!object.is_object()) return;
  for (const auto& [name, value] : object.items()) {
    bool known = false;
    for (const TPropertySlot& slot : table) {
      if (name != slot.Name || !(slot.Types & Bit(layer.Type))) continue;
      layer.*slot.Slot = TStyleValue(value);
      known = true;
    }
    if (!known && name != "visibility")
      Unsupported(std::string(group) + " property \"" + name + "\"");
  }
}

}  // namespace

std::shared_ptr<TVectorStyle> TVectorStyle::Parse(const std::string& text, std::string& error) {
  json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    error = "the style is not a JSON object";
    return nullptr;
  }
  const json& layers = document["layers"];
  if (!layers.is_array()) {
    error = "the style has no \"layers\" list";
    return nullptr;
  }
  auto style = std::shared_ptr<TVectorStyle>(new TVectorStyle());
  style->FName = document.value("name", "");
  for (const json& entry : layers) {
    if (!entry.is_object()) continue;
    const std::string type = entry.value("type", "");
    TStyleLayer layer;
    if (type == "background")
      layer.Type = slBackground;
    else if (type == "fill")
      layer.Type = slFill;
    else if (type == "line")
      layer.Type = slLine;
    else if (type == "circle")
      layer.Type = slCircle;
    else if (type == "symbol")
      layer.Type = slSymbol;
    else {
      Unsupported("layer type \"" + type + "\"");
      continue;
    }
    layer.Id = entry.value("id", "");
    layer.SourceLayer = entry.value("source-layer", "");
    if (entry.contains("minzoom") && entry["minzoom"].is_number()) layer.MinZoom = entry["minzoom"];
    if (entry.contains("maxzoom") && entry["maxzoom"].is_number()) layer.MaxZoom = entry["maxzoom"];
    if (entry.contains("filter")) layer.Filter = entry["filter"];
    const json layout = entry.value("layout", json::object());
    if (layout.is_object() && layout.value("visibility", "visible") == "none")
      layer.Visible = false;
    ReadProperties(entry.value("paint", json::object()), kPaint, layer, "paint");
    ReadProperties(layout, kLayout, layer, "layout");
    style->FLayers.push_back(std::move(layer));
  }
  return style;
}

std::shared_ptr<TVectorStyle> TVectorStyle::Default() {
  static std::shared_ptr<TVectorStyle> style = [] {
    std::string error;
    auto parsed = TVectorStyle::Parse(
        std::string(reinterpret_cast<const char*>(kVectorStyleData), kVectorStyleDataSize), error);
    if (!parsed) LogError("tiles", "the built-in vector style: " + error);
    return parsed ? parsed : std::shared_ptr<TVectorStyle>(new TVectorStyle());
  }();
  return style;
}

}  // namespace wy
