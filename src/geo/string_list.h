#pragma once
// The string list every other part of the system builds on: an ordered list
// of UTF-8 strings, each with an associated object, with optional sorting, a
// duplicates policy, name=value lines and the usual text forms (lines,
// comma text, delimited text, files).
//
// TStringListOf<TObject> is the list with objects of type TObject (a
// std::shared_ptr or std::unique_ptr when the list owns them, a raw pointer
// when it does not). TStringList is the plain, non-owning list of void*.
//
// Behaviour in brief:
// - Comparisons fold only the letters A to Z by default (CaseSensitive false);
//   every other byte compares by its unsigned value, so "é" and "É" differ and
//   UTF-8 text orders by code point.
// - Duplicates applies only while Sorted is true: a new list is unsorted with
//   dupIgnore and accepts duplicates. On a sorted list, Add of an existing
//   string returns the existing index (dupIgnore), adds it before the equal
//   entries (dupAccept), or adds nothing and returns -1 (dupError).
// - Nothing throws for bad indexes: getters return "" or an empty object,
//   setters and removals return false and change nothing.
// - Insert, SetStrings and Exchange are refused (false) on a sorted list,
//   since they would break its order.
// - Sort and CustomSort are stable merge sorts; a comparator that is not a
//   consistent ordering gives some order, never a fault.
// - Text is written with CR LF after every line; reading accepts CR LF, LF
//   and a lone CR, and a final line break adds no empty line. NUL bytes are
//   ordinary characters.
// - Files and streams are written as UTF-8 with a byte-order mark (unless
//   WriteBOM is switched off); see DecodeTextBytes for reading.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/log.h"

namespace wy {

class TStream;

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

// Compares folding only A..Z to a..z; other bytes by unsigned value.
// Returns <0, 0 or >0.
int CompareTextAZ(std::string_view a, std::string_view b);
bool SameTextAZ(std::string_view a, std::string_view b);
// Bytewise comparison by unsigned value. Returns <0, 0 or >0.
int CompareStrBytes(std::string_view a, std::string_view b);

namespace string_list_detail {

// Splits at CR LF, LF or a lone CR; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);
// Appends one item of a delimited text, quoted when it needs it.
void AppendDelimitedItem(std::string& out, std::string_view item, char delimiter, char quote,
                         bool strict);
std::vector<std::string> SplitDelimited(std::string_view text, char delimiter, char quote,
                                        bool strict);
// Turns the bytes of a text file into UTF-8: a UTF-8 byte-order mark is
// dropped; UTF-16 LE/BE with their marks are converted; without a mark the
// bytes are kept when they are valid UTF-8 and read as Windows-1252 (the
// 8-bit code page of older files) otherwise.
std::string DecodeTextBytes(std::string_view bytes);
// File and stream access for LoadFrom.../SaveTo...; false on any failure.
bool ReadTextFile(const std::string& fileName, std::string& text);
bool ReadTextStream(TStream& stream, std::string& text);
bool WriteTextFile(const std::string& fileName, std::string_view text, bool bom);
bool WriteTextStream(TStream& stream, std::string_view text, bool bom);

// Stable merge sort of the indexes 0..n-1 by compare(a, b) (<0: a first).
// Always terminates within bounds, whatever compare answers.
template <typename TCompareIndex>
std::vector<int> StableOrder(int n, TCompareIndex&& compare) {
  const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  std::vector<int> a(count), b(count);
  for (size_t i = 0; i < count; ++i) a[i] = static_cast<int>(i);
  for (size_t width = 1; width < count; width *= 2) {
    for (size_t lo = 0; lo < count; lo += 2 * width) {
      const size_t mid = std::min(lo + width, count);
      const size_t hi = std::min(lo + 2 * width, count);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) b[k++] = compare(a[j], a[i]) < 0 ? a[j++] : a[i++];
      while (i < mid) b[k++] = a[i++];
      while (j < hi) b[k++] = a[j++];
    }
    a.swap(b);
  }
  return a;
}

}  // namespace string_list_detail

template <typename TObject>
class TStringListOf {
 public:
  // Compares the entries at two indexes of the list: <0, 0 or >0.
  using TListSortCompare = std::function<int(const TStringListOf& list, int index1, int index2)>;

  TStringListOf() = default;
  virtual ~TStringListOf() = default;
  TStringListOf(const TStringListOf&) = default;
  TStringListOf(TStringListOf&&) = default;
  TStringListOf& operator=(const TStringListOf&) = default;
  TStringListOf& operator=(TStringListOf&&) = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  int Capacity() const {
    return static_cast<int>(std::min<size_t>(FItems.capacity(), std::numeric_limits<int>::max()));
  }
  // A hint: values below Count, above kMaxCapacityHint, or that cannot be
  // allocated are ignored (the list still grows past them as needed).
  static constexpr int kMaxCapacityHint = 1 << 24;
  void SetCapacity(int capacity) {
    if (capacity < Count() || capacity > kMaxCapacityHint) return;
    try {
      FItems.reserve(static_cast<size_t>(capacity));
    } catch (const std::exception&) {
      LogCaughtException(llDebug, "geo", "string list: capacity hint ignored");
    }
  }

  bool Sorted() const { return FSorted; }
  // Switching on sorts the list (duplicates already in it stay).
  void SetSorted(bool sorted) {
    if (sorted == FSorted) return;
    if (sorted) SortItems();
    FSorted = sorted;
  }
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates duplicates) { FDuplicates = duplicates; }
  bool CaseSensitive() const { return FCaseSensitive; }
  // A sorted list is sorted again by the new comparison.
  void SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive == FCaseSensitive) return;
    FCaseSensitive = caseSensitive;
    if (FSorted) SortItems();
  }

  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char delimiter) { FDelimiter = delimiter; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char quoteChar) { FQuoteChar = quoteChar; }
  // False (the default): unquoted items of DelimitedText also end at spaces
  // and control characters, and blanks around items are skipped. True: only
  // the delimiter separates items.
  bool StrictDelimiter() const { return FStrictDelimiter; }
  void SetStrictDelimiter(bool strict) { FStrictDelimiter = strict; }
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char separator) { FNameValueSeparator = separator; }
  // Whether SaveToFile / SaveToStream write the UTF-8 byte-order mark.
  bool WriteBOM() const { return FWriteBOM; }
  void SetWriteBOM(bool writeBom) { FWriteBOM = writeBom; }

  // Returns the index of the new entry; on a sorted list with an equal entry
  // see Duplicates (-1 when refused).
  int Add(const std::string& s) { return AddObject(s, TObject{}); }
  int AddObject(const std::string& s, TObject object) {
    int index = Count();
    if (FSorted) {
      if (Find(s, index)) {
        if (FDuplicates == dupIgnore) return index;
        if (FDuplicates == dupError) return -1;
      }
    }
    if (Count() == std::numeric_limits<int>::max()) return -1;
    FItems.insert(FItems.begin() + index, TItem{s, std::move(object)});
    return index;
  }
  // Adds every entry of strings with its object, as repeated AddObject would.
  void AddStrings(const TStringListOf& strings) {
    std::vector<TItem> items(strings.FItems);  // a copy: strings may be *this
    AddItems(std::move(items));
  }
  void AddStrings(const std::vector<std::string>& strings) {
    std::vector<TItem> items;
    items.reserve(strings.size());
    for (const std::string& s : strings) items.push_back(TItem{s, TObject{}});
    AddItems(std::move(items));
  }
  // 0 <= index <= Count; refused on a sorted list.
  bool Insert(int index, const std::string& s) { return InsertObject(index, s, TObject{}); }
  bool InsertObject(int index, const std::string& s, TObject object) {
    if (FSorted || index < 0 || index > Count() || Count() == std::numeric_limits<int>::max())
      return false;
    FItems.insert(FItems.begin() + index, TItem{s, std::move(object)});
    return true;
  }
  bool Delete(int index) {
    if (!ValidIndex(index)) return false;
    FItems.erase(FItems.begin() + index);
    return true;
  }
  void Clear() { FItems.clear(); }
  // Refused on a sorted list.
  bool Exchange(int index1, int index2) {
    if (FSorted || !ValidIndex(index1) || !ValidIndex(index2)) return false;
    std::swap(FItems[static_cast<size_t>(index1)], FItems[static_cast<size_t>(index2)]);
    return true;
  }
  // Sorts an unsorted list (stable); a sorted list is already in order.
  void Sort() {
    if (!FSorted) SortItems();
  }
  // Sorts an unsorted list (stable) by compare, which sees the list as it was
  // before the sort. Does nothing on a sorted list.
  void CustomSort(const TListSortCompare& compare) {
    if (FSorted || !compare || Count() < 2) return;
    Reorder(string_list_detail::StableOrder(Count(),
                                            [&](int a, int b) { return compare(*this, a, b); }));
  }

  // Binary search, meaningful on a sorted list. True when an equal entry
  // exists; index is then its position (under dupAccept the first of the
  // equal entries, otherwise whichever equal entry the search meets first),
  // else the position where s would be inserted.
  bool Find(std::string_view s, int& index) const {
    bool found = false;
    int lo = 0;
    int hi = Count() - 1;
    while (lo <= hi) {
      const int i = lo + (hi - lo) / 2;
      const int c = CompareStrings(FItems[static_cast<size_t>(i)].FString, s);
      if (c < 0) {
        lo = i + 1;
      } else {
        hi = i - 1;
        if (c == 0) {
          found = true;
          if (FDuplicates != dupAccept) lo = i;
        }
      }
    }
    index = lo;
    return found;
  }
  // -1 when absent. Linear on an unsorted list, Find on a sorted one.
  int IndexOf(std::string_view s) const {
    if (FSorted) {
      int index = -1;
      return Find(s, index) ? index : -1;
    }
    for (size_t i = 0; i < FItems.size(); ++i)
      if (CompareStrings(FItems[i].FString, s) == 0) return static_cast<int>(i);
    return -1;
  }
  // First entry "name=..." whose name compares equal; -1 when absent.
  int IndexOfName(std::string_view name) const {
    for (size_t i = 0; i < FItems.size(); ++i) {
      const std::string& s = FItems[i].FString;
      const size_t p = s.find(FNameValueSeparator);
      if (p != std::string::npos && CompareStrings(std::string_view(s).substr(0, p), name) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }
  // First entry holding object (needs operator==); -1 when absent.
  int IndexOfObject(const TObject& object) const {
    for (size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i].FObject == object) return static_cast<int>(i);
    return -1;
  }

  // The part before the first separator; "" when there is none.
  std::string Names(int index) const {
    if (!ValidIndex(index)) return std::string();
    const std::string& s = FItems[static_cast<size_t>(index)].FString;
    const size_t p = s.find(FNameValueSeparator);
    return p == std::string::npos ? std::string() : s.substr(0, p);
  }
  // The part after the first separator; "" when there is none.
  std::string ValueFromIndex(int index) const {
    if (!ValidIndex(index)) return std::string();
    const std::string& s = FItems[static_cast<size_t>(index)].FString;
    const size_t p = s.find(FNameValueSeparator);
    return p == std::string::npos ? std::string() : s.substr(p + 1);
  }
  std::string Values(std::string_view name) const { return ValueFromIndex(IndexOfName(name)); }
  // Sets the line of name to name=value, adding it when absent; an empty
  // value deletes the line. The line keeps its object (and, on a sorted
  // list, moves to its sorted place).
  void SetValues(std::string_view name, const std::string& value) {
    const int index = IndexOfName(name);
    if (value.empty()) {
      Delete(index);
      return;
    }
    std::string line(name);
    line += FNameValueSeparator;
    line += value;
    if (index < 0) {
      Add(line);
    } else if (!FSorted) {
      FItems[static_cast<size_t>(index)].FString = std::move(line);
    } else {
      TObject object = std::move(FItems[static_cast<size_t>(index)].FObject);
      Delete(index);
      AddObject(line, std::move(object));
    }
  }

  // "" for an index out of range.
  const std::string& Strings(int index) const {
    if (!ValidIndex(index)) return EmptyString();
    return FItems[static_cast<size_t>(index)].FString;
  }
  // Refused on a sorted list.
  bool SetStrings(int index, const std::string& s) {
    if (FSorted || !ValidIndex(index)) return false;
    FItems[static_cast<size_t>(index)].FString = s;
    return true;
  }
  // An empty object for an index out of range.
  const TObject& Objects(int index) const {
    if (!ValidIndex(index)) return EmptyObject();
    return FItems[static_cast<size_t>(index)].FObject;
  }
  bool SetObjects(int index, TObject object) {
    if (!ValidIndex(index)) return false;
    FItems[static_cast<size_t>(index)].FObject = std::move(object);
    return true;
  }

  // Every string followed by CR LF.
  std::string Text() const {
    size_t size = 0;
    for (const TItem& item : FItems) size += item.FString.size() + 2;
    std::string text;
    text.reserve(size);
    for (const TItem& item : FItems) {
      text += item.FString;
      text += "\r\n";
    }
    return text;
  }
  std::string GetText() const { return Text(); }
  // Replaces the content by the lines of text (added as by Add, so a sorted
  // list applies its duplicates policy). Objects are cleared.
  // A text that cannot be held leaves the list unchanged.
  void SetText(std::string_view text) { TrySetText(text); }

  // DelimitedText with "," and '"', not strict.
  std::string CommaText() const { return BuildDelimited(',', '"', false); }
  void SetCommaText(std::string_view text) {
    TryReplace([&] { return string_list_detail::SplitDelimited(text, ',', '"', false); });
  }
  // Items joined by Delimiter; an item that holds the delimiter, the quote
  // character, or (unless StrictDelimiter) a blank or control character is
  // quoted with its quote characters doubled. A single empty item is written
  // as two quote characters. An unterminated quote runs to the end.
  std::string DelimitedText() const {
    return BuildDelimited(FDelimiter, FQuoteChar, FStrictDelimiter);
  }
  void SetDelimitedText(std::string_view text) {
    TryReplace([&] {
      return string_list_detail::SplitDelimited(text, FDelimiter, FQuoteChar, FStrictDelimiter);
    });
  }

  // Replace the content by the file's lines (see DecodeTextBytes); false and
  // the list unchanged when the file cannot be read.
  bool LoadFromFile(const std::string& fileName) {
    std::string text;
    return string_list_detail::ReadTextFile(fileName, text) && TrySetText(text);
  }
  bool SaveToFile(const std::string& fileName) const {
    try {
      return string_list_detail::WriteTextFile(fileName, Text(), FWriteBOM);
    } catch (const std::exception&) {
      LogCaughtException(llWarning, "geo", "string list: saving to " + fileName);
      return false;
    }
  }
  // Reads from the stream's position to its end.
  bool LoadFromStream(TStream& stream) {
    std::string text;
    return string_list_detail::ReadTextStream(stream, text) && TrySetText(text);
  }
  // Writes at the stream's position.
  bool SaveToStream(TStream& stream) const {
    try {
      return string_list_detail::WriteTextStream(stream, Text(), FWriteBOM);
    } catch (const std::exception&) {
      LogCaughtException(llWarning, "geo", "string list: saving to a stream");
      return false;
    }
  }

  // SetText that tells whether the text could be held (false: the list is
  // unchanged).
  bool TrySetText(std::string_view text) {
    return TryReplace([&] { return string_list_detail::SplitLines(text); });
  }

  // The comparison of every look-up and sort: CompareTextAZ, or bytewise
  // when CaseSensitive.
  virtual int CompareStrings(std::string_view a, std::string_view b) const {
    return FCaseSensitive ? CompareStrBytes(a, b) : CompareTextAZ(a, b);
  }

 private:
  struct TItem {
    std::string FString;
    TObject FObject;
  };

  bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
  static const std::string& EmptyString() {
    static const std::string empty;
    return empty;
  }
  static const TObject& EmptyObject() {
    static const TObject empty{};
    return empty;
  }

  std::string BuildDelimited(char delimiter, char quote, bool strict) const {
    if (FItems.size() == 1 && FItems[0].FString.empty()) return std::string(2, quote);
    std::string out;
    for (size_t i = 0; i < FItems.size(); ++i) {
      if (i > 0) out += delimiter;
      string_list_detail::AppendDelimitedItem(out, FItems[i].FString, delimiter, quote, strict);
    }
    return out;
  }

  void SortItems() {
    if (Count() < 2) return;
    Reorder(string_list_detail::StableOrder(Count(), [this](int a, int b) {
      return CompareStrings(FItems[static_cast<size_t>(a)].FString,
                            FItems[static_cast<size_t>(b)].FString);
    }));
  }
  void Reorder(const std::vector<int>& order) {
    std::vector<TItem> items;
    items.reserve(FItems.size());
    for (int i : order) items.push_back(std::move(FItems[static_cast<size_t>(i)]));
    FItems.swap(items);
  }

  template <typename TSplit>
  bool TryReplace(TSplit&& split) {
    try {
      ReplaceStrings(split());
      return true;
    } catch (const std::exception&) {
      LogCaughtException(llWarning, "geo", "string list: new lines refused, the old ones kept");
      return false;
    }
  }
  void ReplaceStrings(std::vector<std::string>&& strings) {
    std::vector<TItem> items;
    items.reserve(strings.size());
    for (std::string& s : strings) items.push_back(TItem{std::move(s), TObject{}});
    std::vector<TItem> old;  // put back if adding fails
    old.swap(FItems);
    try {
      AddItems(std::move(items));
    } catch (...) {
      // Not handled here: the lines are put back and the caller (TryReplace)
      // logs and reports the failure.
      FItems.swap(old);
      throw;
    }
  }

  // Adds items in order with the result of one AddObject per item, in
  // O(n log n) on a sorted list.
  void AddItems(std::vector<TItem>&& items) {
    if (!FSorted || items.size() < 8) {
      if (!FSorted) FItems.reserve(FItems.size() + items.size());
      for (TItem& item : items) AddObject(item.FString, std::move(item.FObject));
      return;
    }
    const std::vector<int> order =
        string_list_detail::StableOrder(static_cast<int>(items.size()), [&](int a, int b) {
          return CompareStrings(items[static_cast<size_t>(a)].FString,
                                items[static_cast<size_t>(b)].FString);
        });
    std::vector<TItem> fresh;
    fresh.reserve(items.size());
    for (int i : order) fresh.push_back(std::move(items[static_cast<size_t>(i)]));

    // Merge group by group of equal strings. A repeated AddObject would put
    // new equal entries before the old ones, the latest first (dupAccept),
    // or keep the old entries, else the first new one (dupIgnore, dupError).
    std::vector<TItem> merged;
    merged.reserve(FItems.size() + fresh.size());
    size_t i = 0, j = 0;
    while (i < FItems.size() || j < fresh.size()) {
      std::string key;
      if (j == fresh.size() ||
          (i < FItems.size() && CompareStrings(FItems[i].FString, fresh[j].FString) <= 0))
        key = FItems[i].FString;
      else
        key = fresh[j].FString;
      const size_t oldBegin = i;
      while (i < FItems.size() && CompareStrings(FItems[i].FString, key) == 0) ++i;
      const size_t newBegin = j;
      while (j < fresh.size() && CompareStrings(fresh[j].FString, key) == 0) ++j;
      if (i == oldBegin && j == newBegin) {  // an inconsistent order: take one item
        if (i < FItems.size())
          ++i;
        else
          ++j;
      }
      if (FDuplicates == dupAccept) {
        for (size_t k = j; k > newBegin; --k) merged.push_back(std::move(fresh[k - 1]));
        for (size_t k = oldBegin; k < i; ++k) merged.push_back(std::move(FItems[k]));
      } else if (i > oldBegin) {
        for (size_t k = oldBegin; k < i; ++k) merged.push_back(std::move(FItems[k]));
      } else {
        merged.push_back(std::move(fresh[newBegin]));
      }
    }
    if (merged.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
      merged.resize(static_cast<size_t>(std::numeric_limits<int>::max()));
    FItems.swap(merged);
  }

  std::vector<TItem> FItems;
  TDuplicates FDuplicates = dupIgnore;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FStrictDelimiter = false;
  bool FWriteBOM = true;
  char FDelimiter = ',';
  char FQuoteChar = '"';
  char FNameValueSeparator = '=';
};

using TStringList = TStringListOf<void*>;

// A string list whose look-ups always ignore the case of A to Z only
// (whatever CaseSensitive says), with a substring search.
template <typename TObject>
class TFStringListOf : public TStringListOf<TObject> {
 public:
  int CompareStrings(std::string_view a, std::string_view b) const override {
    return CompareTextAZ(a, b);
  }
  // First entry containing s (case-sensitive); -1 when none, or s is empty.
  int SubIndexOf(std::string_view s) const {
    if (s.empty()) return -1;
    for (int i = 0; i < this->Count(); ++i)
      if (this->Strings(i).find(s) != std::string::npos) return i;
    return -1;
  }
};

using TFStringList = TFStringListOf<void*>;

}  // namespace wy
