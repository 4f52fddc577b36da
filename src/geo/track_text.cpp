#include "geo/track_text.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace wy {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

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

std::string IsoTimeText(double seconds) {
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) return "";
  int64_t ms = static_cast<int64_t>(std::llround(seconds * 1000));
  int64_t days = ms / 86400000;
  int64_t rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  const int64_t h = rest / 3600000, mi = rest / 60000 % 60, s = rest / 1000 % 60,
                frac = rest % 1000;
  char text[64];
  if (frac == 0)
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "-%02u-%02uT%02" PRId64 ":%02" PRId64 ":%02" PRId64 "Z", y, m, d, h,
                  mi, s);
  else
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "-%02u-%02uT%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64
                  "Z",
                  y, m, d, h, mi, s, frac);
  return text;
}

}  // namespace wy
