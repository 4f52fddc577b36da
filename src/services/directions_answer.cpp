#include "services/directions_answer.h"

#include <cmath>
#include <cstdint>

#include "geo/text_convert.h"

namespace wy {

namespace {

constexpr double kMaxWholeValue = 2147483647.0;

// The text between `from` and the next `stop`, or npos when there is none.
bool TextUpTo(const std::string& text, size_t from, char stop, std::string& out, size_t& end) {
  end = text.find(stop, from);
  if (end == std::string::npos) return false;
  out = text.substr(from, end - from);
  return true;
}

// A string value up to its closing (unescaped) double quote.
bool QuotedText(const std::string& text, size_t from, std::string& out, size_t& end) {
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      out = text.substr(from, i - from);
      end = i;
      return true;
    }
  }
  return false;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    parts.push_back(Trim(text.substr(start, comma == std::string::npos ? comma : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::string Summary(const std::string& answer) {
  static const std::string kDistance = "\"distance\":";
  static const std::string kTime = "\"time\":";
  const size_t d = answer.find(kDistance);
  if (d == std::string::npos) return std::string();
  std::string value;
  size_t end = 0;
  if (!TextUpTo(answer, d + kDistance.size(), ',', value, end)) return std::string();
  int metres = 0;
  if (!KilometresToMetres(value, metres)) return std::string();
  std::string summary = std::to_string(metres) + ",";
  const size_t t = answer.find(kTime);
  if (t != std::string::npos && TextUpTo(answer, t + kTime.size(), ',', value, end))
    summary += Trim(value);
  return summary;
}

}  // namespace

std::string RouteFromToText(const std::vector<double>& points) {
  if (points.size() < 4 || points.size() % 2 != 0) return std::string();
  std::string text = "from=" + TwoFloatsToText(points[0], points[1]) + "&";
  for (size_t i = 2; i + 1 < points.size(); i += 2)
    text += "to=" + TwoFloatsToText(points[i], points[i + 1]) + "&";
  return text;
}

std::string RawAnswerLine(const std::string& answer) {
  return "raw=" + EscapeChars("\r\n=", answer);
}

bool RoundWhole(double value, int& whole) {
  const double r = std::nearbyint(value);
  if (!std::isfinite(r) || std::fabs(r) > kMaxWholeValue) return false;
  whole = static_cast<int>(r);
  return true;
}

bool KilometresToMetres(const std::string& text, int& metres) {
  double km = 0;
  if (!TryStrToFloatDot(text, km)) return false;
  return RoundWhole(km * 1000, metres);
}

void ParseDirectionsAnswer(const std::string& answer, bool json, TServiceResultList& lines) {
  lines.Clear();
  lines.Add(RawAnswerLine(answer));
  if (!json) return;
  const std::string summary = Summary(answer);

  static const std::string kIndexes = "\"maneuverIndexes\":[";
  const size_t i = answer.find(kIndexes);
  if (i != std::string::npos) {
    std::string indexText, shapeText;
    size_t indexEnd = 0, shapeEnd = 0;
    const size_t indexStart = i + kIndexes.size();
    size_t shapeOpen = std::string::npos;
    if (TextUpTo(answer, indexStart, ']', indexText, indexEnd))
      shapeOpen = answer.find('[', indexEnd + 1);
    if (shapeOpen != std::string::npos &&
        TextUpTo(answer, shapeOpen + 1, ']', shapeText, shapeEnd)) {
      // Narratives with their running distance.
      static const std::string kNarrative = "\"narrative\":\"";
      static const std::string kDistance = "\"distance\":";
      std::vector<std::string> narratives;
      int64_t sum = 0;
      size_t pos = shapeEnd + 1;
      while (true) {
        const size_t n = answer.find(kNarrative, pos);
        if (n == std::string::npos) break;
        std::string narrative, distance;
        size_t narrativeEnd = 0, distanceEnd = 0;
        if (!QuotedText(answer, n + kNarrative.size(), narrative, narrativeEnd)) break;
        const size_t d = answer.find(kDistance, narrativeEnd + 1);
        if (d == std::string::npos ||
            !TextUpTo(answer, d + kDistance.size(), ',', distance, distanceEnd))
          break;
        int metres = 0;
        if (!KilometresToMetres(distance, metres)) break;
        sum += metres;
        if (std::fabs(static_cast<double>(sum)) > kMaxWholeValue) break;
        narratives.push_back(std::to_string(sum) + "," + narrative);
        pos = distanceEnd;
      }

      // Shape points, in front of the raw line.
      std::vector<std::string> coords = SplitCommas(shapeText);
      if (shapeText.empty()) coords.clear();
      const int points = static_cast<int>(coords.size() / 2);
      for (int p = 0; p < points; ++p)
        lines.Insert(
            p, coords[static_cast<size_t>(2 * p)] + "," + coords[static_cast<size_t>(2 * p + 1)]);

      // Each manoeuvre's narrative on the point where it starts. An index
      // that is not a whole number, or one without a narrative, ends it.
      const std::vector<std::string> indexes =
          indexText.empty() ? std::vector<std::string>() : SplitCommas(indexText);
      for (size_t k = 0; k < indexes.size(); ++k) {
        const int p = TextToIntDef(indexes[k], -1);
        if (p < 0 || k >= narratives.size()) break;
        if (p < points) lines.SetStrings(p, lines.Strings(p) + "," + narratives[k]);
      }
    }
  }
  lines.Insert(lines.Count() - 1, summary);
}

bool ParseElevationAnswer(const std::string& answer, TServiceResultList& lines) {
  lines.Clear();
  static const std::string kHeight = "\"height\":";
  size_t pos = 0;
  while (true) {
    const size_t h = answer.find(kHeight, pos);
    if (h == std::string::npos) break;
    size_t start = h + kHeight.size();
    while (start < answer.size() && (answer[start] == ' ' || answer[start] == '\t')) ++start;
    // The number token alone: a key after "height" does not end up in it.
    size_t end = start;
    while (end < answer.size() &&
           std::string("0123456789+-.eE").find(answer[end]) != std::string::npos)
      ++end;
    double value = 0;
    int metres = 0;
    if (!TryStrToFloatDot(answer.substr(start, end - start), value) || !RoundWhole(value, metres)) {
      lines.Clear();
      return false;
    }
    if (metres == -32768) metres = static_cast<int>(TWyRoutePathPoint::kNoAltitude);
    lines.Add(std::to_string(metres));
    pos = end;
  }
  return true;
}

bool FillRoutePathFromLines(const TServiceResultList& lines, TWyRoutePath& path) {
  path.clear();
  path.SetDistance(0);
  path.SetDuration(0);
  const int count = lines.Count();
  if (count < 3) return false;
  for (int i = 0; i < count - 2; ++i) {
    const std::string& line = lines.Strings(i);
    const std::vector<std::string> parts = SplitCommas(line);
    double lat = 0, lng = 0;
    if (parts.size() < 2 || !TryStrToFloatDot(parts[0], lat) || !TryStrToFloatDot(parts[1], lng))
      continue;
    int distance = 0;
    std::string instructions;
    if (parts.size() >= 3) {
      distance = TextToIntDef(parts[2], 0);
      size_t third = line.find(',');
      third = line.find(',', third + 1);
      third = line.find(',', third + 1);
      if (third != std::string::npos) instructions = line.substr(third + 1);
    }
    path.add(lat, lng, TWyRoutePathPoint::kNoAltitude, distance, instructions);
  }
  const std::vector<std::string> summary = SplitCommas(lines.Strings(count - 2));
  path.SetDistance(TextToIntDef(summary[0], 0));
  if (summary.size() > 1) path.SetDuration(TextToIntDef(summary[1], 0));
  return path.count() > 0;
}

}  // namespace wy
