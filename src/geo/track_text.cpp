#include "geo/track_text.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace wy {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).

}  // namespace

std::string FixedText(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  decimals = decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string out(text, r.ptr);
  // No "-0" nor "-0.0".
  if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
  return out;
}

std::string DistanceText(double metres) {
  if (std::isnan(metres)) return "";
  if (std::fabs(metres) < 999.5) return FixedText(metres, 0) + " m";
  if (std::fabs(metres) < 9995) return FixedText(metres / 1000, 2) + " km";
  return FixedText(metres / 1000, 1) + " km";
}

std::string DurationText(double seconds) {
  if (std::isnan(seconds)) return "";
  char text[48];
  if (seconds < 59.5) return std::to_string(seconds < 0 ? 0 : std::llround(seconds)) + " s";
  const int64_t minutes = static_cast<int64_t>(std::llround(seconds / 60));
  if (minutes < 60)
    std::snprintf(text, sizeof text, "%" PRId64 " min", minutes);
  else
    std::snprintf(text, sizeof text, "%" PRId64 " h %" PRId64 " min", minutes / 60, minutes % 60);
  return text;
}

std::string SpeedText(double metresPerSecond) {
  if (std::isnan(metresPerSecond)) return "";
  return FixedText(metresPerSecond * 3.6, 1) + " km/h";
}

std::string ElevationText(double metres) {
  if (std::isnan(metres)) return "";
  return FixedText(metres, 0) + " m";
}


}  // namespace wy
