#pragma once
// Track figures as people read them ("12.4 km", "1 h 47 min", "5.2 km/h",
// "+830 m"); times as ISO 8601 texts are in geo/iso_time.h. "." is the decimal separator
// whatever the locale. No Qt.

#include <string>

namespace wy {

// `value` in fixed notation with exactly `decimals` decimals (0 to 9),
// rounded half away from zero as printf does, "." always; "nan" / "inf" for
// what is no finite number.
std::string FixedText(double value, int decimals);

// Below 1 km in whole metres ("850 m"), else kilometres with two decimals
// below 10 km and one above ("4.27 km", "12.4 km").
std::string DistanceText(double metres);
// "42 s", "12 min", "1 h 47 min" (rounded to the minute from one minute on).
std::string DurationText(double seconds);
// "5.2 km/h" from metres per second.
std::string SpeedText(double metresPerSecond);
// Whole metres: "1234 m".
std::string ElevationText(double metres);

}  // namespace wy
