#pragma once
// Decoding of XML character references, shared by the XML tokenizer and by
// anything else that reads text or attribute values of XML documents.
//
// One pass over the input: what a reference decodes to is never looked at
// again, so "&amp;lt;" gives "&lt;". Recognised are the named references
// &amp; &lt; &gt; &quot; &apos; &nbsp; (names in any letter case) and the
// numeric references &#N; and &#xH; (any code point from U+0001 to U+10FFFF
// except the UTF-16 surrogate range), written out as UTF-8. Anything else
// beginning with "&" (an unknown name, a reference without ";", an
// out-of-range number) is kept exactly as written.

#include <cstddef>
#include <string>
#include <string_view>

namespace wy {

// Appends text to out with its character references decoded. With
// normalizeBlanks, tab, carriage return and line feed characters written in
// the text become one blank each (a CR LF pair one blank), as XML does for
// attribute values; references such as &#10; still give their character.
void AppendXmlDecoded(std::string& out, const char* text, size_t size,
                      bool normalizeBlanks = false);

// The text with its character references decoded.
std::string XmlDecodeEntities(std::string_view text);

}  // namespace wy
