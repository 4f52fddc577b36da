#include "geo/coordinate_text.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "geo/text_convert.h"

namespace wy {

namespace {

// Nobody types a coordinate pair longer than this; longer text is left to
// the geocoder without a look.
constexpr size_t kMaxLength = 120;

enum TTokenKind : unsigned char {
  tkNumber,
  tkDegrees,
  tkMinutes,
  tkSeconds,
  tkHemi,
  tkSign,
  tkSep
};

struct TToken {
  TTokenKind Kind;
  double Value = 0;   // tkNumber: the value; tkSign: -1 or +1
  bool Whole = true;  // tkNumber: no decimal part
  char Hemi = 0;      // tkHemi: 'N', 'S', 'E' or 'W'
};

bool StartsWith(const std::string& text, size_t at, const char* prefix) {
  return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}

// The marks in use for degrees, minutes and seconds, longest first where one
// begins another ('' is seconds typed as two minute marks).
struct TMark {
  const char* Text;
  TTokenKind Kind;
};
const TMark kMarks[] = {
    {"\xC2\xB0", tkDegrees},      // ° degree sign
    {"\xC2\xBA", tkDegrees},      // º ordinal, often typed for the degree sign
    {"\xCB\x9A", tkDegrees},      // ˚ ring above
    {"''", tkSeconds},            //
    {"'", tkMinutes},             //
    {"\xE2\x80\xB2", tkMinutes},  // ′ prime
    {"\xE2\x80\x99", tkMinutes},  // ’ right single quotation mark
    {"\"", tkSeconds},            //
    {"\xE2\x80\xB3", tkSeconds},  // ″ double prime
    {"\xE2\x80\x9D", tkSeconds},  // ” right double quotation mark
};

bool Tokenize(const std::string& text, std::vector<TToken>& tokens) {
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if ((c >= '0' && c <= '9') || c == '.') {
      size_t end = i;
      int dots = 0, digits = 0;
      while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.')) {
        if (text[end] == '.')
          ++dots;
        else
          ++digits;
        ++end;
      }
      if (dots > 1 || digits == 0) return false;
      TToken t{tkNumber};
      if (!TryStrToFloatDot(text.substr(i, end - i), t.Value)) return false;
      t.Whole = dots == 0;
      tokens.push_back(t);
      i = end;
      continue;
    }
    if (c == '-' || c == '+') {
      TToken t{tkSign};
      t.Value = c == '-' ? -1 : 1;
      tokens.push_back(t);
      ++i;
      continue;
    }
    if (c == ',' || c == ';') {
      tokens.push_back(TToken{tkSep});
      ++i;
      continue;
    }
    bool marked = false;
    for (const TMark& mark : kMarks) {
      if (StartsWith(text, i, mark.Text)) {
        tokens.push_back(TToken{mark.Kind});
        i += std::char_traits<char>::length(mark.Text);
        marked = true;
        break;
      }
    }
    if (marked) continue;
    // A hemisphere is a lone letter: "N", never the start of a word.
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if ((upper == 'N' || upper == 'S' || upper == 'E' || upper == 'W') &&
        (i + 1 == text.size() || !IsLetter(text[i + 1]))) {
      TToken t{tkHemi};
      t.Hemi = upper;
      tokens.push_back(t);
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

// One value of the pair, as read from the tokens.
struct TPart {
  double Degrees = 0;
  char Hemi = 0;  // 0 when none was written
};

class TPartReader {
 public:
  explicit TPartReader(const std::vector<TToken>& tokens) : FTokens(tokens) {}

  bool AtEnd() const { return FAt == FTokens.size(); }
  bool Skip(TTokenKind kind) {
    if (AtEnd() || FTokens[FAt].Kind != kind) return false;
    ++FAt;
    return true;
  }

  // [sign | hemisphere] degrees [°] [minutes ' [seconds "]] [hemisphere]
  bool Read(TPart& part) {
    double sign = 1;
    if (Is(tkSign)) {
      sign = FTokens[FAt++].Value;
    } else if (Is(tkHemi)) {
      part.Hemi = FTokens[FAt++].Hemi;
    }
    if (!Is(tkNumber)) return false;
    const TToken& degrees = FTokens[FAt++];
    Skip(tkDegrees);
    double value = degrees.Value;
    if (Is(tkNumber) && Is(tkMinutes, 1)) {
      const TToken& minutes = FTokens[FAt];
      FAt += 2;
      // Only the last unit written may have decimals.
      if (!degrees.Whole || minutes.Value >= 60) return false;
      value += minutes.Value / 60;
      if (Is(tkNumber) && Is(tkSeconds, 1)) {
        const TToken& seconds = FTokens[FAt];
        FAt += 2;
        if (!minutes.Whole || seconds.Value >= 60) return false;
        value += seconds.Value / 3600;
      }
    }
    // A letter after a value that had one before it starts the next value.
    if (!part.Hemi && Is(tkHemi)) part.Hemi = FTokens[FAt++].Hemi;
    if (part.Hemi == 'S' || part.Hemi == 'W') sign = -1;
    part.Degrees = sign * value;
    return true;
  }

 private:
  bool Is(TTokenKind kind, size_t ahead = 0) const {
    return FAt + ahead < FTokens.size() && FTokens[FAt + ahead].Kind == kind;
  }

  const std::vector<TToken>& FTokens;
  size_t FAt = 0;
};

bool IsLatitudeHemi(char h) {
  return h == 'N' || h == 'S';
}

}  // namespace

bool ParseCoordinateText(const std::string& text, double& lat, double& lng) {
  if (text.size() > kMaxLength) return false;
  std::vector<TToken> tokens;
  if (!Tokenize(text, tokens)) return false;
  // Signs and hemisphere letters do not mix: "-48 S" could mean either.
  bool signs = false, letters = false;
  for (const TToken& t : tokens) {
    signs = signs || t.Kind == tkSign;
    letters = letters || t.Kind == tkHemi;
  }
  if (signs && letters) return false;
  TPartReader reader(tokens);
  TPart first, second;
  if (!reader.Read(first)) return false;
  reader.Skip(tkSep);
  if (!reader.Read(second) || !reader.AtEnd()) return false;
  // With hemispheres the pair may come longitude first; the same axis
  // twice is no pair.
  if (first.Hemi && second.Hemi && IsLatitudeHemi(first.Hemi) == IsLatitudeHemi(second.Hemi))
    return false;
  const bool swapped =
      (first.Hemi && !IsLatitudeHemi(first.Hemi)) || (second.Hemi && IsLatitudeHemi(second.Hemi));
  const TPart& la = swapped ? second : first;
  const TPart& ln = swapped ? first : second;
  if (!(std::fabs(la.Degrees) <= 90) || !(std::fabs(ln.Degrees) <= 180)) return false;
  lat = la.Degrees;
  lng = ln.Degrees;
  return true;
}

bool ParseLatLngText(const std::string& text, double& lat, double& lng) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) return false;
  double a = 0, b = 0;
  if (!TryStrToFloatDot(text.substr(0, comma), a) || !TryStrToFloatDot(text.substr(comma + 1), b) ||
      std::fabs(a) > 90 || std::fabs(b) > 180)
    return false;
  lat = a;
  lng = b;
  return true;
}

}  // namespace wy
