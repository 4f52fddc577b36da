#include "geo/http_date.h"

#include <cstdio>

namespace wy {

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // 1970-01-01: Thu

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsLeap(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t y, int m) {
  static const int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kLengths[m - 1];
}

// A cursor over the text with the few readers the three forms need.
class TReader {
 public:
  explicit TReader(const std::string& text) : FText(text) {}
  bool AtEnd() const { return FPos >= FText.size(); }
  void SkipBlanks() {
    while (!AtEnd() && (FText[FPos] == ' ' || FText[FPos] == '\t')) ++FPos;
  }
  bool Char(char c) {
    if (AtEnd() || FText[FPos] != c) return false;
    ++FPos;
    return true;
  }
  // A run of letters (the day name); false when there is none.
  bool Word() {
    const size_t start = FPos;
    while (!AtEnd() && ((FText[FPos] >= 'A' && FText[FPos] <= 'Z') ||
                        (FText[FPos] >= 'a' && FText[FPos] <= 'z')))
      ++FPos;
    return FPos > start;
  }
  // minDigits to maxDigits decimal digits.
  bool Number(int minDigits, int maxDigits, int64_t& value) {
    value = 0;
    int count = 0;
    while (!AtEnd() && count < maxDigits && FText[FPos] >= '0' && FText[FPos] <= '9') {
      value = value * 10 + (FText[FPos] - '0');
      ++FPos;
      ++count;
    }
    return count >= minDigits;
  }
  bool Month(int& month) {
    if (FPos + 3 > FText.size()) return false;
    for (int i = 0; i < 12; ++i) {
      if (FText.compare(FPos, 3, kMonths[i]) == 0) {
        month = i + 1;
        FPos += 3;
        return true;
      }
    }
    return false;
  }
  // "HH:MM:SS".
  bool Time(int64_t& h, int64_t& m, int64_t& s) {
    return Number(2, 2, h) && Char(':') && Number(2, 2, m) && Char(':') && Number(2, 2, s);
  }
  bool Text(const char* text) {
    size_t i = 0;
    for (; text[i] != '\0'; ++i)
      if (FPos + i >= FText.size() || FText[FPos + i] != text[i]) return false;
    FPos += i;
    return true;
  }

 private:
  const std::string& FText;
  size_t FPos = 0;
};

bool Assemble(int64_t year, int month, int64_t day, int64_t h, int64_t m, int64_t s,
              int64_t& seconds) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month) || h > 23 || m > 59 ||
      s > 60)
    return false;
  seconds = DaysFromCivil(year, month, static_cast<int>(day)) * 86400 + h * 3600 + m * 60 +
            (s == 60 ? 59 : s);
  return true;
}

}  // namespace

bool ParseHttpDate(const std::string& text, int64_t& seconds) {
  int64_t day = 0, year = 0, h = 0, m = 0, s = 0;
  int month = 0;
  {
    // "Sun, 06 Nov 1994 08:49:37 GMT"
    TReader r(text);
    r.SkipBlanks();
    if (r.Word() && r.Char(',') && (r.SkipBlanks(), r.Number(1, 2, day)) && r.Char(' ') &&
        r.Month(month) && r.Char(' ') && r.Number(4, 4, year) && r.Char(' ') && r.Time(h, m, s) &&
        r.Char(' ') && r.Text("GMT") && (r.SkipBlanks(), r.AtEnd()))
      return Assemble(year, month, day, h, m, s, seconds);
  }
  {
    // "Sunday, 06-Nov-94 08:49:37 GMT": two-digit years from 1970 to 2069.
    TReader r(text);
    r.SkipBlanks();
    if (r.Word() && r.Char(',') && (r.SkipBlanks(), r.Number(2, 2, day)) && r.Char('-') &&
        r.Month(month) && r.Char('-') && r.Number(2, 2, year) && r.Char(' ') && r.Time(h, m, s) &&
        r.Char(' ') && r.Text("GMT") && (r.SkipBlanks(), r.AtEnd()))
      return Assemble(year + (year < 70 ? 2000 : 1900), month, day, h, m, s, seconds);
  }
  {
    // "Sun Nov  6 08:49:37 1994"
    TReader r(text);
    r.SkipBlanks();
    if (r.Word() && r.Char(' ') && r.Month(month) && r.Char(' ') && (r.Char(' '), true) &&
        r.Number(1, 2, day) && r.Char(' ') && r.Time(h, m, s) && r.Char(' ') &&
        r.Number(4, 4, year) && (r.SkipBlanks(), r.AtEnd()))
      return Assemble(year, month, day, h, m, s, seconds);
  }
  return false;
}

std::string FormatHttpDate(int64_t seconds) {
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - days * 86400;
  int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  const int64_t weekday = ((days % 7) + 7) % 7;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04lld %02lld:%02lld:%02lld GMT",
                kDays[weekday], day, kMonths[month - 1], static_cast<long long>(year),
                static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                static_cast<long long>(rest % 60));
  return buffer;
}

}  // namespace wy
