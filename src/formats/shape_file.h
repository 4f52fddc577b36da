#pragma once
// Files of shapes: saving a text as a UTF-8 file, and reading a shape source
// (a local file, or an http or https address) as text with its kind.
//
// Kinds follow the extension of the name, without regard to letter case:
// ".gpx", ".kml", ".kmz" (zipped KML), ".json" and ".geojson" are the
// foreign formats, anything
// else is the system's own sectioned text. A ".json" or ".geojson" source
// whose first non-blank character is not "{" is own text too.
//
// Thread-safe; every function blocks for its file or download.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace wy {

enum TShapeSourceKind : uint8_t { skText, skGPX, skKML, skGeoJSON, skError };

// Writes `text` as lines, each ended by CR LF (a last line without a line
// break gets one; LF and CR alone become CR LF), in UTF-8 after the
// byte-order mark. The text goes to a new file beside the target, which
// then replaces the target in one step: the target holds either its old
// content or the whole new text, whatever happens meanwhile (a full disk,
// the process killed). False when the file could not be written; the
// target is then untouched.
bool SaveTextToFile(const std::string& fileName, const std::string& text);
// The same replacement for bytes written as they are: no byte-order mark,
// line breaks unchanged.
bool SaveBytesToFile(const std::string& fileName, const std::string& bytes);

// Writes a file in pieces, replacing it in one step as SaveTextToFile:
// `produce` hands each piece to the writer it is given and returns false to
// give up. With `text` the file is as SaveTextToFile writes it (a piece then
// ends at a line end), otherwise the bytes as they are.
using TPieceWriter = std::function<bool(std::string_view)>;
using TPieceProducer = std::function<bool(const TPieceWriter& write)>;
bool SaveFileInPieces(const std::string& fileName, bool text, const TPieceProducer& produce);

// The kind the extension of `name` stands for (".geojson" is GeoJSON);
// query and fragment of an address do not count.
TShapeSourceKind ShapeSourceKindOf(const std::string& name);

// True for an address starting with "http://" or "https://" (any case).
bool IsWebAddress(const std::string& name);

// The extension of a file name or of an address's path, from its last "."
// and in lower case (".gpx"); "" when it has none.
std::string FileExtension(const std::string& name);

// The shape text of a local file or, when no such file exists, of an
// address (LoadShapeUrl): GPX, KML and GeoJSON converted, own text as it is
// (without a byte-order mark). "" when the file cannot be read or holds
// nothing that converts.
std::string LoadShapeFile(const std::string& name);
// As LoadShapeFile for an http or https address; any other address gives
// "" without a request.
std::string LoadShapeUrl(const std::string& address);

// Reads a local file or, when no such file exists, downloads an http or
// https address, into `text` (UTF-8, byte-order mark removed), and returns
// its kind (by extension and, for ".json" and ".geojson", content). skError when the file cannot be
// read, the download fails, or the name is neither an existing file nor a web address; `text` is
// then
// "".
TShapeSourceKind ReadShapeSource(const std::string& source, std::string& text);
// The same, for a worker thread: `abort` (may be empty) is polled during a
// download and cuts it, and `error` receives a short English reason when
// the result is skError.
TShapeSourceKind ReadShapeSource(const std::string& source, std::string& text,
                                 const std::function<bool()>& abort, std::string& error);

// The shape text of a source's text of that kind: GPX, KML and GeoJSON
// converted by a fresh reader (so conversions may run on several threads),
// own text as it is; "" for skError or a text that gives nothing.
std::string ConvertShapeText(TShapeSourceKind kind, std::string text);
// The same; `error` receives where the reader found the text malformed or
// cut short ("at line 12: the document ends inside a tag"), "" when it
// did not.
std::string ConvertShapeText(TShapeSourceKind kind, std::string text, std::string& error);
// "at line 12: reason" for a reader's ErrorString and ErrorLine; "" when
// the reason is "".
std::string ReaderStopText(const std::string& reason, size_t line);
// "no shapes in SOURCE", followed by where its reader stopped when known.
std::string NoShapesText(const std::string& source, const std::string& stop);

// Whether a shape text holds at least one record: a line that is neither
// blank nor a section header, below the header of a section the readers
// read ("[map]", "[groupes]", and a group's "pois", "markers",
// "polylines", "polygones" and "infowindows", with or without the group's
// prefix). Text that is no shape text (a JSON array, a plain list) has
// none: it is no source of shapes or of a view.
bool HasShapeRecords(const std::string& text);

}  // namespace wy
