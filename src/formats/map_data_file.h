#pragma once
// TWyMapDataFile: a sectioned text ("[groupes]", "[markers]", ...) read once
// and indexed, so that any number of sections can be taken from it in time
// proportional to what they hold.
//
// Lines end with CR LF, LF or CR; a UTF-8 byte-order mark at the start is
// dropped. A header is a line whose text, without the blanks around it and
// without a leading "#GENERIC#" (the mark a group puts in front of a file it
// reads), starts with "[" + name + "]"; text after the "]" is allowed. A
// header-like text inside a record ("title=[polylines]") is no header.
// A section runs from the line after its header up to, not including, the
// next line whose trimmed text starts with "[" (or the end).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wy {

class TWyMapDataFile {
 public:
  explicit TWyMapDataFile(std::string text);
  TWyMapDataFile(const TWyMapDataFile&) = delete;
  TWyMapDataFile& operator=(const TWyMapDataFile&) = delete;

  // The lines of the first section whose header is `section` (for example
  // "[markers]"), each followed by CR LF, with the blanks and line breaks at
  // both ends removed. "" when there is no such header.
  std::string ReadSection(const std::string& section) const;
  // Whether the header occurs.
  bool HasSection(const std::string& section) const;

  size_t LineCount() const { return FLines.size(); }
  std::string_view Line(size_t index) const;

  // What the data files of the process did so far, for tests that check
  // that loading is linear: texts indexed and their bytes, section look-ups
  // and the bytes of the sections returned.
  struct TWork {
    uint64_t Indexed = 0;
    uint64_t IndexedBytes = 0;
    uint64_t Lookups = 0;
    uint64_t SectionBytes = 0;
  };
  static TWork Work();
  static void ResetWork();

 private:
  struct TLine {
    size_t Start;
    size_t Length;
  };
  // The index of the header line of `section`, or npos.
  size_t FindHeader(const std::string& section) const;
  // Whether line `index` is a header starting with `section`.
  bool IsHeaderOf(size_t index, std::string_view section) const;
  // The line's text after the blanks and a "#GENERIC#" mark.
  std::string_view HeaderText(size_t index) const;

  std::string FText;
  std::vector<TLine> FLines;
  // Header lines by the text from "[" to the first "]", in file order.
  std::unordered_map<std::string, std::vector<size_t>> FHeaders;
};

}  // namespace wy
