#pragma once
// Dates of HTTP headers (Date, Expires, Last-Modified, Retry-After) as
// seconds since 1970-01-01 UTC, without the C library's locale or time zone.

#include <cstdint>
#include <string>

namespace wy {

// Reads the three forms HTTP allows: "Sun, 06 Nov 1994 08:49:37 GMT" (the
// usual one), "Sunday, 06-Nov-94 08:49:37 GMT" and the C library's
// "Sun Nov  6 08:49:37 1994". Blanks around the text are ignored, the day
// name is not checked. False, `seconds` untouched, for anything else
// (a number such as "0" included).
bool ParseHttpDate(const std::string& text, int64_t& seconds);

// "Sun, 06 Nov 1994 08:49:37 GMT".
std::string FormatHttpDate(int64_t seconds);

}  // namespace wy
