#pragma once
// Times as files write them (ISO 8601 / RFC 3339, "2024-05-01T12:00:00Z",
// "2024-05-01T14:00:00.250+02:00") and as the shapes keep them: seconds
// since 1970-01-01T00:00:00Z, the fraction kept.

#include <string>
#include <string_view>

namespace wy {

// The time of a point that has none.
constexpr double kNoTime = -1.0e300;

// Date, "T" (or a blank), time with optional fraction, then "Z", an offset
// "+hh:mm" / "-hhmm" / "+hh", or nothing (read as UTC). A date alone is its
// midnight UTC. False (value untouched) for anything else or a field out of
// range.
bool ParseIsoTime(std::string_view text, double& seconds);

// "YYYY-MM-DDThh:mm:ss[.ffffff]Z": the fraction to the microsecond, its
// trailing zeros dropped (none for whole seconds). "" (nothing appended)
// for a time that is no number or lies beyond any calendar date.
std::string IsoTimeText(double seconds);
// The same, appended to `out`.
void AppendIsoTime(std::string& out, double seconds);

// The seconds as a plain decimal to the microsecond, trailing zeros dropped
// ("1714564800", "1714564800.25"); for the shape text.
std::string EpochSecondsText(double seconds);

}  // namespace wy
