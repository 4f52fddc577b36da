#pragma once
// TSAJ: an event-driven JSON reader. It walks the text once, by recursive
// descent, and reports member names and values to virtual operations without
// building a document.
//
// The top level must be an object; any other text gives no events. The
// reader is lenient: members need not be separated by commas, a comma
// before "}" or "]" is accepted, "#" starts a comment to the end of the line
// and the words true, false and null are read in any letter case (and
// reported lower-case). Strings are reported as written, escapes not decoded
// (JsonDecodeString decodes them). A leading byte-order mark is skipped.
//
// Malformed text stops the parse where the structure breaks; events already
// sent stand. Nesting deeper than kMaxDepth arrays and objects fails the
// parse, so hostile input cannot exhaust the stack. Work is linear in the
// size of the text.
//
// One object serves one conversion at a time; it holds no state shared with
// other instances.

#include <cstddef>
#include <string>
#include <string_view>

namespace wy {

class TSAJ {
 public:
  static constexpr int kMaxDepth = 512;

  TSAJ() = default;
  virtual ~TSAJ() = default;
  TSAJ(const TSAJ&) = delete;
  TSAJ& operator=(const TSAJ&) = delete;

  // Parses `text` from its first character. True when the top-level object
  // was read completely.
  bool ParseJSON(std::string_view text);
  // Where and why the last ParseJSON stopped short: a short English reason
  // ("" after a complete read), the 1-based line and the byte offset.
  const std::string& ErrorString() const { return FError; }
  size_t ErrorLine() const { return FErrorLine; }
  size_t ErrorOffset() const { return FErrorOffset; }

 protected:
  // An object member named `name` begins; also called with "" when an array
  // begins.
  virtual void StartElement(const std::string& name) { (void)name; }
  // A primitive value was read: a string (as written), a number (as written)
  // or "true", "false", "null".
  virtual void SetElementValue(const std::string& value) { (void)value; }
  // The current member's value, or the current array, is complete.
  virtual void EndElement() {}
  // An object begins ("{") or ends ("}"); the top-level object included.
  virtual void StartObject() {}
  virtual void EndObject() {}
  // During SetElementValue: the value was a string (not a number or word).
  bool ValueIsString() const { return FValueIsString; }

 private:
  void SkipBlanks();
  bool ReadObject(int depth);
  bool ReadArray(int depth);
  bool ReadValue(int depth);
  bool ReadString(std::string& out);
  bool ReadNumber(std::string& out);
  bool ReadWord(std::string& out);
  bool Stop(const char* reason);
  void NoteStop();

  std::string_view FText;
  size_t FPos = 0;
  std::string FValue;  // reused for every primitive value
  bool FValueIsString = false;
  std::string FError;
  size_t FErrorLine = 0;
  size_t FErrorOffset = 0;
};

// Decodes the escapes of a JSON string's content (\" \\ \/ \b \f \n \r \t
// and \uXXXX with surrogate pairs) to UTF-8. Unpaired surrogates and bad
// escapes become U+FFFD; invalid UTF-8 bytes are kept as they are.
std::string JsonDecodeString(std::string_view raw);

}  // namespace wy
