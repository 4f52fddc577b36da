#pragma once
// Percent-encoding of URL query text. EncodeQueryValue is the one way to
// put a text into a query as one value ("q=" + EncodeQueryValue(address));
// EncodeQueryText makes a whole query text that already has its structure
// ("lat=1&lon=2", "a%26b&key=K") fit for an address without changing it.
// Encoding is byte-wise on UTF-8 text; the hexadecimal digits are upper
// case. Pure functions, thread-safe.

#include <string>

namespace wy {

// One query value: the unreserved characters (A-Z, a-z, 0-9, "-", ".", "_",
// "~") stay, every other byte becomes "%" and two hexadecimal digits. A
// typed "&", "#", "+", "=" or "%" therefore stays inside the value:
// "AT&T 50%" gives "AT%26T%2050%25", "Łódź" gives "%C5%81%C3%B3d%C5%BA".
std::string EncodeQueryValue(const std::string& text);

// Reads a query value the way a server does: "%" and two hexadecimal digits
// (either case) give that byte, "+" gives a space, every other byte - a "%"
// without two digits after it included - stays. The result may hold any
// byte, invalid UTF-8 and zero bytes too.
std::string DecodeQueryValue(const std::string& text);

// A whole query text made fit for an address: what a query may hold as it
// is stays (the unreserved characters, "!$&'()*+,;=:@/?", and "%" when two
// hexadecimal digits follow); every other byte - blanks, controls,
// non-ASCII, "#", "[", a lone "%" - is percent-encoded. Names, values and
// escapes keep their meaning, and a text already fit comes back unchanged.
std::string EncodeQueryText(const std::string& text);

// Appends "%" and the two upper-case hexadecimal digits of `byte`.
void AppendPercentEncoded(std::string& out, unsigned char byte);

}  // namespace wy
