#pragma once
// Text conversions used by every file format and service request: numbers
// with "." whatever the locale, booleans, KML colours, the "#code#" escapes,
// HTML entities, JSON escapes and a few normalisations.
//
// Text is UTF-8 throughout. Functions whose rule is defined on code points or
// UTF-16 code units say so and decode the UTF-8 explicitly. All functions are
// pure, thread-safe and never touch the global locale. Bad input (malformed
// numbers, invalid UTF-8, huge texts) gives the documented result; nothing
// throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wy {

// ---------------------------------------------------------------------------
// Booleans

// "true" or "false".
std::string BoolToText(bool value);
// true for exactly "true", false for exactly "false", `def` otherwise.
bool TextToBoolDef(const std::string& text, bool def);
// true only for exactly "true".
bool TextIsTrue(const std::string& text);

// ---------------------------------------------------------------------------
// Numbers. Always "." as decimal separator.

// The altitude that means "no altitude".
constexpr double kNoAltitude = -9999;

// Shortest general form with up to 15 significant digits and no trailing
// zeros: "43.232951", "2", "-9999", "0.3" for 0.1 + 0.2. Scientific notation
// only for magnitudes below 0.00001 (zero excepted) or from 1E15 on, written
// as mantissa, "E" and the exponent with "-" only when negative and without
// leading zeros: "1E-6", "1.5E15". Negative zero gives "0". NaN gives "NAN",
// the infinities "INF" and "-INF".
std::string FloatToStrDot(double value);

// Appends the value as FloatToStrDot writes it, but always in plain
// decimal notation ("0.000001", never "1E-6"), as file formats that accept
// no exponent want. NaN and the infinities append "0".
void AppendPlainDecimal(std::string& out, double value);
// The same for `value` as read from `written`: a plain decimal ("-12.50")
// of at most 15 significant digits is copied, its needless zeros left out,
// without formatting the number again.
void AppendPlainDecimal(std::string& out, double value, std::string_view written);

// Fixed-point text with exactly `digits` decimals (clamped to 0..18). The
// value is rounded once, to whichever keeps fewer digits: `digits` decimals
// or digits + 4 significant digits, then padded with zeros:
// (6, 43.2329511) gives "43.232951", (6, 12345.123456789) gives
// "12345.123460". Large values stay in fixed notation. A result that rounds
// to zero has no minus sign. NaN and the infinities as in FloatToStrDot.
std::string FloatToStrFixedDot(int digits, double value);

// FloatToStrDot(a) + "," + FloatToStrDot(b).
std::string TwoFloatsToText(double a, double b);
// As TwoFloatsToText with a third value, where c == kNoAltitude is written
// as "0".
std::string ThreeFloatsToText(double a, double b, double c);

// Reads a decimal number written with "." ("3.5", "-2", ".5", "1e-6", with
// an optional sign; spaces, tabs, CR and LF around it are ignored). If that
// fails the first "," is turned into "." and the text is read again ("3,5"
// gives 3.5). An empty or unreadable text, NaN, infinities and values out of
// the range of double give -1.
// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

double StrToFloatDot(const std::string& text);
// `def` for an empty text, otherwise StrToFloatDot(text) ("x" gives -1).
double StrToFloatDotDef(const std::string& text, double def);
// StrToFloatDot with a success flag, for readers to which -1 is a value like
// any other: false, `value` untouched, where StrToFloatDot gives -1 for
// failure.
bool TryStrToFloatDot(const std::string& text, double& value);

// The integer in `text`: decimal ("-12") or hexadecimal after "$" ("$1A",
// "-$1A"), optional sign, spaces, tabs, CR and LF around it ignored. `def`
// when the text is not entirely such an integer or does not fit in an int.
int TextToIntDef(const std::string& text, int def);

// ---------------------------------------------------------------------------
// Tokens

// When `separator` occurs in `text`, returns the part before its first
// occurrence and removes that part and the separator from `text`; otherwise
// (an empty separator included) returns all of `text` and empties it.
std::string NextToken(std::string& text, const std::string& separator);

// `text` without the spaces, tabs, CRs and LFs at its start and end.
std::string Trim(const std::string& text);

// ---------------------------------------------------------------------------
// Colours

// A colour: red + green * 256 + blue * 65536. A value with the top bit set
// is a system colour (0x80000000 | index, the usual toolkit's clBtnFace and
// the like), resolved through a built-in table of the standard desktop
// defaults; see ColorToRGB.
using TColor = uint32_t;

constexpr TColor clSystemColor = 0xFF000000u;
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

// The RGB value of a colour: system colours through the table (indexes the
// table does not know give black), any other value with its top byte
// cleared.
TColor ColorToRGB(TColor color);

// Eight upper-case hexadecimal digits alpha, blue, green, red, where alpha is
// opacity * 255 rounded half to even with opacity clamped to 0..1 (NaN counts
// as 0): (0x0000FF, 0.5) gives "800000FF".
std::string ColorToKml(TColor color, double opacity);

// For a text of 8 or more characters "aabbggrr" (hexadecimal, any case):
// color = red + green * 256 + blue * 65536 and opacity = aa / 255; returns
// true. Shorter texts and texts whose first 8 characters are not all
// hexadecimal digits leave both outputs unchanged and return false.
bool KmlToColor(const std::string& text, TColor& color, double& opacity);

// Each of red, green and blue of the resolved colour reduced by `amount`,
// kept within 0..255.
TColor DarkerColor(TColor color, int amount);

// ---------------------------------------------------------------------------
// Fingerprint

// CRC-32 (IEEE 802.3) as eight upper-case hexadecimal digits, fed with the
// low byte of each UTF-16 code unit of the text: "abc" gives "352441C2",
// "é" gives "0BD4B551", "€" gives "0D62004E". Invalid UTF-8 reads as U+FFFD.
std::string CrcText(const std::string& text);

// ---------------------------------------------------------------------------
// "#code#" escapes

// Each byte of `text` that is one of the bytes of `chars` becomes "#", its
// decimal code and "#" (CR gives "#13#"). `chars` is a set of single-byte
// characters.
std::string EscapeChars(const std::string& chars, const std::string& text);
// The reverse, in one pass from left to right: every "#" + decimal code +
// "#" whose code is one of the bytes of `chars` becomes that byte. A literal
// "#13#" in the original text therefore comes back as CR.
std::string UnescapeChars(const std::string& chars, const std::string& text);

// ---------------------------------------------------------------------------
// Searching and replacing. Positions count bytes.

// `text` with the first / every occurrence of `from` replaced by `to`,
// ignoring the case of A to Z. An empty `from` changes nothing.
std::string ReplaceFirst(const std::string& text, const std::string& from, const std::string& to);
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

// 1-based byte position of the first exact occurrence of `sub` in `text`
// that starts at or after byte `offset` (1-based); 0 when there is none, when
// `sub` is empty or when `offset` is 0 or past the end. Letter case counts.
size_t PosFrom(const std::string& sub, const std::string& text, size_t offset);

// ---------------------------------------------------------------------------
// Web text

// Decodes "&apos;", "&#39;", "&#160;", "&amp;", "&lt;", "&gt;", "&quot;" and
// "&nbsp;" (any case; the two no-break spaces give U+00A0) in one pass, so
// decoded text is never decoded again: "&amp;lt;" gives "&lt;".
std::string HtmlDecode(const std::string& text);

// Drops everything from a "<" up to and including the next ">" (an unclosed
// "<" drops the rest), drops any other ">", then applies HtmlDecode.
std::string HtmlToText(const std::string& text);

// Service or file text (place names, addresses, imported names) with "<"
// and ">" replaced by "‹" and "›": the text stays readable, and shown in an
// info window or a hint it can neither open a tag (fetch an image from any
// host, draw a fake link) nor close one. Escaping to "&lt;" would not do:
// the info windows decode no entities and would show it literally.
std::string NeutraliseMarkup(const std::string& text);

// Replaces each "\uXXXX" escape (four hexadecimal digits) by its character in
// UTF-8; a high surrogate followed by a "\uXXXX" low surrogate gives one
// character, an unpaired surrogate gives U+FFFD. "\\" is copied as it stands
// and does not start an escape; every other backslash is copied.
std::string JsonUnescape(const std::string& text);

// Removes "http:", ":", "www.", "-", "\", "/", ".", double and single quotes,
// in that order and ignoring case, then lowers A to Z:
// "http://www.Foo-bar.com/x.png" gives "foobarcomxpng".
std::string UrlToId(const std::string& text);

// Per code point below U+0100 (the Latin-1 range): a-z to A-Z; Latin-1
// letters with diacritics to their base capital; "æ" to "Æ", "þ" to "Þ",
// the soft hyphen to "*"; U+0080..U+009F to the characters Windows-1252
// gives those codes (U+0080 to "€", U+009C to "Œ"), except that Š/š give
// "S", Ž/ž give "Z", œ gives "Œ" and Ÿ gives "Y"; every other code point
// below U+0100 unchanged ("ß", "×"). Code points from U+0100 on are kept
// as they are ("Łódź" gives "ŁODź", "東京" stays); invalid UTF-8 becomes
// U+FFFD. The result is UTF-8.
std::string UpperNoAccents(const std::string& text);

// Reads UTF-8 and narrows it to Windows-1252. The result is UTF-8 again, of
// the characters whose code points are the Windows-1252 byte values ("é"
// stays "é", "€" gives U+0080). A character Windows-1252 lacks gives "?".
// Bad input gives one "?" per broken sequence: a lead byte of a 4-byte or
// invalid sequence, a stray continuation byte or a sequence cut short by the
// end of the text gives "?" and the continuation bytes after it are skipped;
// a sequence broken by a byte that is no continuation byte resumes at that
// byte.
std::string Utf8ToWin1252(const std::string& text);

// ---------------------------------------------------------------------------
// KML fragments

// The text as one CDATA section; a "]]>" inside it is split across two
// sections, so the section cannot end early and the reader gets the text
// back unchanged.
std::string CDataSection(const std::string& text);

// "<description>" + CDataSection(text) + "</description>".
std::string KmlDescription(const std::string& text);

// "" for an empty text; otherwise "<ExtendedData>", for each ";"-separated
// item "name=value" `<Data name="name"><value>value</value></Data>` (an item
// without "=" is a name with an empty value), and "</ExtendedData>".
std::string KmlExtendedData(const std::string& text);

}  // namespace wy
