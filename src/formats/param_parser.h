#pragma once
// TWyParamParser: finds one named field in a line of name=value fields, as
// the shape text format writes them ("name=a;lat=43.6;lng=1.45;").
//
// The buffer is the text with every CR LF pair replaced by the separator and
// one separator added at each end, so "lat=1;lng=2" becomes ";lat=1;lng=2;".
// A value is found by the first occurrence of separator + name + "=" (letter
// case counts) and runs up to the next separator. Because the separator is
// searched in front of the name, "lat" never matches "flat=1"; when a name
// occurs twice, the first occurrence wins. A value holding the separator
// must be escaped by the writer ("#59#"); a literal "#59#" in user text
// therefore comes back as ";" (the escape cannot tell them apart).
//
// Numbers are read with "." whatever the process locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace wy {

class TWyParamParser {
 public:
  // Separator first, then the text.
  explicit TWyParamParser(std::string_view Buf = {}, char Sep = ';');

  const std::string& Text() const { return FBuffer; }
  // Wraps the text as described above.
  void SetText(std::string_view value);
  char Separator() const { return FSeparator; }
  // Stores the separator, then wraps the current buffer once more (already
  // wrapped, it gets the new separator around it).
  void SetSeparator(char value);

  // The raw value of `name` (no unescaping), and whether the name occurs.
  // The view points into the buffer: valid until the text changes.
  bool Find(const std::string& name, std::string_view& value) const;

  // The value with the escapes "#13#", "#10#", "#61#" and "#59#" turned back
  // into CR, LF, "=" and ";"; "" when the name is absent.
  std::string ToStr(const std::string& name) const;
  // Absent or empty: `def`. Otherwise the number written with "." (or,
  // failing that, with ","); anything else (letters, "1.5abc", NaN,
  // infinities, out of range) gives -1.
  double ToDouble(const std::string& name, double def) const;
  // A whole number: decimal or hexadecimal after "$" or "0x", with an
  // optional sign and blanks around it. Absent, empty, unreadable or out of
  // the int32 range: `def`.
  int32_t ToInt(const std::string& name, int32_t def) const;
  // Absent or empty: `def`. Otherwise true exactly for "true" in any letter
  // case.
  bool ToBool(const std::string& name, bool def) const;

 private:
  std::string FBuffer;
  char FSeparator = ';';
};

// The integer in `text` as ToInt reads it; false (value untouched) when the
// text is not such an integer.
bool ParseParamInt(std::string_view text, int32_t& value);
// A number written with "." (or, failing that, with one ","), with an
// optional sign and blanks around it; false (value untouched) for anything
// else, NaN, infinities and values out of range included.
bool ParseParamDouble(std::string_view text, double& value);

}  // namespace wy
