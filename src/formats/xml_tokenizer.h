#pragma once
// TwytXML: a small streaming ("push") XML tokenizer for the KML and GPX
// files and the XML answers of web services the map reads.
//
// It builds no tree. It reads the document line by line, keeps a little state
// from one line to the next and reports, in document order and on the calling
// thread:
//   HandleTag  for every tag read completely: opening, closing (the name then
//              begins with "/", as in "/Placemark"), self-closing and
//              declarations ("<?xml ...?>" arrives as the tag "xml");
//   HandleText for every non-empty piece of text, trimmed of blanks and
//              control characters at both ends, character references decoded.
// Text is delivered when a tag begins and at every line end, so a text that
// spans several lines arrives once per line; comments and CDATA sections do
// not split it. Comments are dropped, CDATA
// sections are delivered as text (their content as written, not decoded),
// both may span lines.
//
// It is lenient: it does not check well-formedness, does not match opening
// and closing tags and does not resolve namespaces. A tag left unfinished at
// the end of the document is dropped without a call. Every input, however
// malformed, is read in time linear in its size.
//
// Tags: the name is what follows "<" up to a blank, a line break or ">", so
// "<x/>" is named "x/" while "<x />" and "<x a='1'/>" are named "x";
// NodeSelfClosing() tells all three apart from an opening tag. A line break
// inside a tag counts as a blank. Attributes are "name=value" entries in
// document order; values may be quoted with " or ' (blanks and ">" allowed
// inside) or unquoted, have their character references decoded and tabs and
// line breaks turned into blanks. An attribute without "=" gives no entry.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wy {

class TStream;

enum TwytState : uint8_t {
  esText = 0,   // between tags (also inside a comment or a CDATA section)
  esTag = 1,    // reading a tag name
  esParam = 2,  // reading a tag's attributes
};

// The attributes of the last tag read, as "name=value" entries in document
// order (duplicates kept). Read-only; valid until the next tag begins.
class TXmlParams {
 public:
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  const std::string& operator[](size_t index) const { return FItems[index]; }
  const std::string* begin() const { return FItems.data(); }
  const std::string* end() const { return FItems.data() + FCount; }

  // The value of the first entry with this name, ASCII letter case ignored;
  // empty when there is none.
  std::string Value(std::string_view name) const;
  // Whether an entry with this name (ASCII letter case ignored) exists.
  bool Has(std::string_view name) const;

 private:
  friend class TwytXML;
  const std::string* Find(std::string_view name) const;

  // Entries [0, FCount) are the attributes; the slots after them keep their
  // storage so that reading many tags does not allocate for every attribute.
  std::vector<std::string> FItems;
  size_t FCount = 0;
};

class TwytXML {
 public:
  using TXmlEvent = std::function<void(TwytXML& sender)>;

  TwytXML();
  virtual ~TwytXML();
  TwytXML(const TwytXML&) = delete;
  TwytXML& operator=(const TwytXML&) = delete;

  // Events; an empty one is skipped. Inside them NodeText, NodeTag,
  // NodeParams and NodeSelfClosing describe what was just read. Loading
  // another document from inside an event is refused.
  TXmlEvent HandleText;
  TXmlEvent HandleTag;

  // The text last given to SetXml (empty after a load from a stream or file).
  const std::string& Xml() const { return FLine; }
  // Resets the state and tokenizes value as one single line: line breaks in
  // it are ordinary control characters. A leading byte-order mark is skipped.
  void SetXml(std::string value);

  // Resets the state, then reads the stream from its current position to its
  // end as UTF-8 text, line by line (LF or CR LF, a leading byte-order mark
  // skipped), tokenizing each line in turn. False when refused (called from
  // inside an event).
  bool LoadFromStream(TStream& stream);
  // As LoadFromStream on the file; a file that cannot be opened gives false
  // and no calls at all.
  bool LoadFromFile(const std::string& fileName);
  // Resets the state and tokenizes what `read` gives (up to `size` bytes
  // into the buffer per call, 0 at the end) as SetXml tokenizes it whole,
  // one single line, without holding more than a block of it at a time.
  // False when refused (called from inside an event).
  bool LoadFromReader(const std::function<size_t(char* buffer, size_t size)>& read);

  // The text being delivered, trimmed, references decoded.
  const std::string& NodeText() const { return FText; }
  // The name of the last tag read, as written ("gpx", "/gpx", "x/"), the "?"
  // of a declaration removed ("xml").
  const std::string& NodeTag() const { return FTag; }
  const TXmlParams& NodeParams() const { return FParams; }
  // The last tag read ended with "/>".
  bool NodeSelfClosing() const { return FSelfClosing; }

  TwytState State() const;

  // Where the last load found the document malformed, for the reader to
  // tell: the first closing tag that matches no open element, or the end
  // of the document inside a tag or with elements still open. A short
  // English reason ("" when none) and its 1-based line. Noted only; the
  // read goes on as described above.
  const std::string& ErrorString() const { return FError; }
  size_t ErrorLine() const { return FErrorLine; }

 private:
  // Finer state of the scanner; State() maps it onto TwytState.
  enum TScan : uint8_t {
    scText,
    scTagStart,    // after "<", before the name
    scBang,        // a name beginning with "!": comment, CDATA or declaration?
    scTagName,     // in the name
    scComment,     // inside "<!-- ... -->"
    scCData,       // inside "<![CDATA[ ... ]]>"
    scParamSpace,  // between attributes
    scParamName,
    scParamAfterName,    // blanks after an attribute name
    scParamBeforeValue,  // after "=", before the value
    scParamQuoted,
    scParamUnquoted,
  };

  void Reset();
  void Tokenize(const char* p, const char* end);
  void EndOfLine();
  template <typename TReadFn>
  void ReadLines(TReadFn&& read);

  void AppendText(const char* from, const char* to, bool decode);
  void DeliverText();
  void BeginTag();
  void BeginTagFromBang();
  void CompleteTag();
  void Finish();
  void TokenizeScan(const char* p, const char* end);
  void CountLines(const char* to);
  void NoteError(std::string reason, size_t line);
  void TrackElement();
  std::string& CurrentParam();
  void CommitParam();
  void DiscardParam();

  std::string FLine;
  std::string FText;  // pending text, decoded; FTextKeep = its length without trailing blanks
  size_t FTextKeep = 0;
  std::string FTag;
  std::string FBang;  // the start of a name beginning with "!", until it is known what it is
  TXmlParams FParams;
  bool FSelfClosing = false;
  bool FSlash = false;  // a "/" stood between the attributes: self-closing if ">" follows
  char FQuote = '"';
  TScan FScan = scText;
  bool FRunning = false;
  // Lines counted so far (line breaks read), up to FCounted in the text
  // being scanned; the line the last tag began on.
  size_t FLines = 0;
  const char* FCounted = nullptr;
  size_t FTagLine = 1;
  // Elements open, with the lines they opened on.
  std::vector<std::pair<std::string, size_t>> FOpen;
  std::string FError;
  size_t FErrorLine = 0;
};

}  // namespace wy
