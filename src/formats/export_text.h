#pragma once
// Escaping of free text (hints, names, icon addresses) for the XML and JSON
// documents the exporters write, so that "&", "<" or a double quote in a
// hint can never break the document around it.

#include <string>
#include <string_view>

namespace wy {

// Appends `text` as XML character data or attribute value: "&", "<", ">",
// '"' and "'" as entities; control characters XML 1.0 forbids (all below
// U+0020 but tab, LF and CR) are dropped; invalid UTF-8 becomes U+FFFD.
void AppendXmlText(std::string& out, std::string_view text);

// Appends `text` as a JSON string literal, quotes included: '"', "\" and
// control characters escaped; invalid UTF-8 becomes U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace wy
