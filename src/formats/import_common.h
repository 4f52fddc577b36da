#pragma once
// Small pieces shared by the importers of foreign formats (GPX, KML,
// GeoJSON) that turn them into the shape text format.

#include <string>
#include <string_view>

namespace wy {

// The coordinate in `text` when it is a number within [-limit, limit];
// imported files are untrusted, so anything else is refused.
bool ReadCoordinate(const std::string& text, double limit, double& value);

// A name or description from a file as a field value: markup neutralised
// (it reaches hints and info windows) and the field separators escaped.
std::string ImportedText(const std::string& text);

// An icon address a file may name: http, https or data: (a local path
// would let a file read any file of the machine as an icon).
bool IsAllowedIcon(const std::string& address);

// The shape text of the sections "[markers]", "[polylines]" and
// "[polygones]", each only when it has records.
std::string JoinShapeSections(const std::string& markers, const std::string& lines,
                              const std::string& polygons);

// An XML document whose declaration names ISO-8859-1 (as GPSBabel and
// older devices write) turned into UTF-8, the declaration then saying so;
// any other document as it is.
std::string XmlAsUtf8(std::string text);

// The element name of a tag as the XML reader reports it ("/gpx:trkpt",
// "wpt/"), without its namespace prefix; `closing` tells a closing tag.
std::string_view XmlLocalName(const std::string& tag, bool& closing);

}  // namespace wy
