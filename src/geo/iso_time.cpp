#include "geo/iso_time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace wy {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

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
  y += m <= 2;
}

bool IsLeap(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Exactly `n` digits at `at`.
bool Digits(std::string_view t, size_t& at, size_t n, int& value) {
  if (at + n > t.size()) return false;
  value = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = t[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += n;
  return true;
}

bool Expect(std::string_view t, size_t& at, char c) {
  if (at < t.size() && t[at] == c) {
    ++at;
    return true;
  }
  return false;
}

// Microseconds as a whole number (the fraction rounded), with its parts.
// Beyond this (about the year 318857) no calendar date is written.
constexpr double kLatestIsoSeconds = 1e13;

void Split(double seconds, int64_t& whole, int64_t& micro) {
  const double rounded = std::round(seconds * 1e6);
  const int64_t total = static_cast<int64_t>(rounded);
  whole = total / 1000000;
  micro = total % 1000000;
  if (micro < 0) {
    micro += 1000000;
    --whole;
  }
}

std::string Fraction(int64_t micro) {
  if (micro == 0) return "";
  char buf[16];
  std::snprintf(buf, sizeof buf, ".%06lld", static_cast<long long>(micro));
  std::string f(buf);
  while (f.back() == '0') f.pop_back();
  return f;
}

}  // namespace

bool ParseIsoTime(std::string_view text, double& seconds) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                           text.front() == '\r'))
    text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
    text.remove_suffix(1);
  size_t at = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, at, 4, year) || !Expect(text, at, '-') || !Digits(text, at, 2, month) ||
      !Expect(text, at, '-') || !Digits(text, at, 2, day))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > static_cast<int>(DaysInMonth(year, month)))
    return false;
  double fraction = 0;
  int offset = 0;  // seconds east of UTC
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != 't' && text[at] != ' ') return false;
    ++at;
    if (!Digits(text, at, 2, hour) || !Expect(text, at, ':') || !Digits(text, at, 2, minute))
      return false;
    if (Expect(text, at, ':')) {
      if (!Digits(text, at, 2, second)) return false;
      if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        ++at;
        double scale = 0.1;
        const size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
          fraction += (text[at] - '0') * scale;
          scale /= 10;
          ++at;
        }
        if (at == start) return false;
      }
    }
    // 60 stands for a leap second; it reads as the next second's start.
    if (hour > 24 || minute > 59 || second > 60 || (hour == 24 && (minute || second || fraction)))
      return false;
    if (at < text.size()) {
      const char z = text[at];
      if ((z == 'Z' || z == 'z') && at + 1 == text.size()) {
        ++at;
      } else if (z == '+' || z == '-') {
        ++at;
        int oh = 0, om = 0;
        if (!Digits(text, at, 2, oh)) return false;
        Expect(text, at, ':');
        if (at < text.size() && !Digits(text, at, 2, om)) return false;
        if (oh > 23 || om > 59) return false;
        offset = (z == '+' ? 1 : -1) * (oh * 3600 + om * 60);
      } else {
        return false;
      }
    }
    if (at != text.size()) return false;
  }
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  seconds =
      static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second - offset) + fraction;
  return true;
}

void AppendIsoTime(std::string& out, double seconds) {
  if (!std::isfinite(seconds) || std::fabs(seconds) > kLatestIsoSeconds) return;
  int64_t whole = 0, micro = 0;
  Split(seconds, whole, micro);
  int64_t days = whole / 86400;
  int64_t rest = whole % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  // Written digit by digit: exports write one per point.
  char buf[40];
  char* p = buf;
  auto digits = [&p](int64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    p += n;
  };
  if (y < 0 || y > 9999) {
    out += std::to_string(y);
  } else {
    digits(y, 4);
  }
  *p++ = '-';
  digits(m, 2);
  *p++ = '-';
  digits(d, 2);
  *p++ = 'T';
  digits(rest / 3600, 2);
  *p++ = ':';
  digits(rest / 60 % 60, 2);
  *p++ = ':';
  digits(rest % 60, 2);
  if (micro != 0) {
    *p++ = '.';
    int n = 6;
    while (micro % 10 == 0) {
      micro /= 10;
      --n;
    }
    digits(micro, n);
  }
  *p++ = 'Z';
  out.append(buf, static_cast<size_t>(p - buf));
}

std::string IsoTimeText(double seconds) {
  std::string out;
  AppendIsoTime(out, seconds);
  return out;
}

std::string EpochSecondsText(double seconds) {
  if (seconds < 0) return "-" + EpochSecondsText(-seconds);
  int64_t whole = 0, micro = 0;
  Split(seconds, whole, micro);
  return std::to_string(whole) + Fraction(micro);
}

}  // namespace wy
