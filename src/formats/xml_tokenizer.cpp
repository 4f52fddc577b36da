#include "formats/xml_tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "formats/xml_entities.h"
#include "geo/stream.h"
#include "geo/string_list.h"

namespace wy {

namespace {

constexpr size_t kReadBlock = 64 * 1024;

inline unsigned char U(char c) {
  return static_cast<unsigned char>(c);
}

// Blanks and control characters.
inline bool IsSpace(char c) {
  return U(c) <= 0x20;
}

// Lookup tables of the characters that end a run in the scanner's hot loops.
enum : uint8_t {
  kEndsTagName = 1,    // blanks, controls, ">"
  kEndsParamName = 2,  // blanks, controls, "=", ">", "/"
};

constexpr std::array<uint8_t, 256> MakeStopTable() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c <= 0x20; ++c) t[c] = kEndsTagName | kEndsParamName;
  t['>'] = kEndsTagName | kEndsParamName;
  t['='] = kEndsParamName;
  t['/'] = kEndsParamName;
  return t;
}

constexpr std::array<uint8_t, 256> kStop = MakeStopTable();

constexpr std::string_view kCommentStart = "!--";
constexpr std::string_view kCDataStart = "![CDATA[";

}  // namespace

// ---------------------------------------------------------------------------
// TXmlParams

const std::string* TXmlParams::Find(std::string_view name) const {
  for (size_t i = 0; i < FCount; ++i) {
    const std::string& item = FItems[i];
    const size_t eq = item.find('=');
    if (eq != std::string::npos && SameTextAZ(std::string_view(item).substr(0, eq), name)) {
      return &item;
    }
  }
  return nullptr;
}

std::string TXmlParams::Value(std::string_view name) const {
  const std::string* item = Find(name);
  return item ? item->substr(item->find('=') + 1) : std::string();
}

bool TXmlParams::Has(std::string_view name) const {
  return Find(name) != nullptr;
}

// ---------------------------------------------------------------------------
// TwytXML

TwytXML::TwytXML() = default;
TwytXML::~TwytXML() = default;

TwytState TwytXML::State() const {
  switch (FScan) {
    case scText:
    case scComment:
    case scCData:
      return esText;
    case scTagStart:
    case scBang:
    case scTagName:
      return esTag;
    default:
      return esParam;
  }
}

void TwytXML::Reset() {
  FText.clear();
  FTextKeep = 0;
  FTag.clear();
  FBang.clear();
  FParams.FCount = 0;
  FSelfClosing = false;
  FSlash = false;
  FScan = scText;
  FLines = 0;
  FCounted = nullptr;
  FTagLine = 1;
  FOpen.clear();
  FError.clear();
  FErrorLine = 0;
}

namespace {

// Marks a tokenizer busy for the duration of a load; refuses nested loads.
class TRunGuard {
 public:
  explicit TRunGuard(bool& running) : FRunning(running), FOwns(!running) { FRunning = true; }
  ~TRunGuard() {
    if (FOwns) FRunning = false;
  }
  bool Owns() const { return FOwns; }

 private:
  bool& FRunning;
  bool FOwns;
};

}  // namespace

void TwytXML::SetXml(std::string value) {
  TRunGuard guard(FRunning);
  if (!guard.Owns()) return;
  FLine = std::move(value);
  Reset();
  const char* p = FLine.data();
  const char* end = p + FLine.size();
  if (FLine.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  Tokenize(p, end);
  EndOfLine();
  Finish();
}

bool TwytXML::LoadFromStream(TStream& stream) {
  TRunGuard guard(FRunning);
  if (!guard.Owns()) return false;
  FLine.clear();
  Reset();
  ReadLines([&stream](char* buffer, size_t size) { return stream.Read(buffer, size); });
  Finish();
  return true;
}

bool TwytXML::LoadFromFile(const std::string& fileName) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::u8path(fileName);
  std::ifstream file;
  if (std::filesystem::is_regular_file(path, ec)) file.open(path, std::ios::binary);
  TRunGuard guard(FRunning);
  if (!guard.Owns()) return false;
  if (!file.is_open()) {
    // Nothing read: no fault of an earlier document stays.
    FError.clear();
    FErrorLine = 0;
    return false;
  }
  FLine.clear();
  Reset();
  ReadLines([&file](char* buffer, size_t size) -> size_t {
    if (!file) return 0;
    file.read(buffer, static_cast<std::streamsize>(size));
    return static_cast<size_t>(file.gcount());
  });
  Finish();
  return true;
}

bool TwytXML::LoadFromReader(const std::function<size_t(char*, size_t)>& read) {
  TRunGuard guard(FRunning);
  if (!guard.Owns()) return false;
  FLine.clear();
  Reset();
  constexpr size_t kBlock = 1 << 20;
  std::string block;  // what is left of the last block, then the next one
  bool first = true;
  for (;;) {
    const size_t kept = block.size();
    block.resize(kept + kBlock);
    const size_t n = read(block.data() + kept, kBlock);
    block.resize(kept + n);
    if (n == 0) break;
    if (first && block.size() >= 3) {
      first = false;
      if (block.compare(0, 3, "\xEF\xBB\xBF") == 0) block.erase(0, 3);
    }
    // Each block is scanned up to its last ">": the scanner takes up any
    // state there (a "-->" or "]]>" is never cut, nor a reference).
    const char* gt = static_cast<const char*>(::memrchr(block.data(), '>', block.size()));
    if (!gt) continue;
    const size_t used = static_cast<size_t>(gt - block.data()) + 1;
    Tokenize(block.data(), block.data() + used);
    block.erase(0, used);
  }
  Tokenize(block.data(), block.data() + block.size());
  EndOfLine();
  Finish();
  return true;
}

template <typename TReadFn>
void TwytXML::ReadLines(TReadFn&& read) {
  std::vector<char> block(kReadBlock);
  std::string carry;  // the start of a line that continues in the next block
  bool firstLine = true;
  auto line = [&](const char* p, const char* end) {
    if (end > p && end[-1] == '\r') --end;
    if (firstLine) {
      firstLine = false;
      if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    }
    Tokenize(p, end);
    EndOfLine();
    ++FLines;
  };
  for (;;) {
    const size_t n = read(block.data(), block.size());
    if (n == 0) break;
    const char* p = block.data();
    const char* const end = p + n;
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!nl) {
        carry.append(p, end);
        break;
      }
      if (carry.empty()) {
        line(p, nl);
      } else {
        carry.append(p, nl);
        line(carry.data(), carry.data() + carry.size());
        carry.clear();
      }
      p = nl + 1;
    }
  }
  if (!carry.empty()) line(carry.data(), carry.data() + carry.size());
}

void TwytXML::Finish() {
  // A tag, comment or CDATA section left open at the end is dropped; its
  // pending text has been delivered at the last line end.
  if (FScan == scComment) {
    NoteError("the document ends inside a comment", FTagLine);
  } else if (FScan == scCData) {
    NoteError("the document ends inside a CDATA section", FTagLine);
  } else if (FScan != scText) {
    NoteError("the document ends inside a tag", FTagLine);
  } else if (!FOpen.empty()) {
    // Told at the last tag read, where the document stops making sense.
    NoteError("the document ends before <" + FOpen.back().first + "> (line " +
                  std::to_string(FOpen.back().second) + ") is closed",
              FTagLine);
  }
  FOpen.clear();
  if (FScan != scText) {
    FTag.clear();
    FBang.clear();
    FParams.FCount = 0;
    FSelfClosing = false;
    FSlash = false;
    FScan = scText;
  }
  FText.clear();
  FTextKeep = 0;
}

// ---------------------------------------------------------------------------
// Text

void TwytXML::AppendText(const char* from, const char* to, bool decode) {
  const char* e = to;
  while (e > from && IsSpace(e[-1])) --e;
  if (e == from) {
    // Only blanks: they matter only between two pieces of text.
    if (FTextKeep) FText.append(from, to);
    return;
  }
  if (!FTextKeep) {
    FText.clear();
    while (IsSpace(*from)) ++from;
  }
  if (decode) {
    AppendXmlDecoded(FText, from, static_cast<size_t>(e - from));
  } else {
    FText.append(from, e);
  }
  FTextKeep = FText.size();
  FText.append(e, to);
}

void TwytXML::DeliverText() {
  if (FTextKeep) {
    FText.resize(FTextKeep);
    if (HandleText) HandleText(*this);
  }
  FText.clear();
  FTextKeep = 0;
}

// ---------------------------------------------------------------------------
// Tags

void TwytXML::BeginTag() {
  DeliverText();
  FTag.clear();
  FParams.FCount = 0;
  FSelfClosing = false;
  FSlash = false;
}

void TwytXML::BeginTagFromBang() {
  BeginTag();
  FTag.swap(FBang);
  FBang.clear();
}

std::string& TwytXML::CurrentParam() {
  if (FParams.FItems.size() <= FParams.FCount) FParams.FItems.emplace_back();
  return FParams.FItems[FParams.FCount];
}

void TwytXML::CommitParam() {
  ++FParams.FCount;
}

void TwytXML::DiscardParam() {
  CurrentParam().clear();
}

void TwytXML::CompleteTag() {
  FScan = scText;
  bool selfClosing = FSlash;
  FSlash = false;
  const bool declaration = !FTag.empty() && FTag[0] == '?';
  if (declaration) {
    // A declaration or processing instruction: "<?xml ...?>" is the tag "xml".
    FTag.erase(0, 1);
    if (!FTag.empty() && FTag.back() == '?') FTag.pop_back();
    selfClosing = false;
  } else if (FTag.size() > 1 && FTag.back() == '/' && FTag[0] != '/') {
    selfClosing = true;
  }
  FSelfClosing = selfClosing;
  if (FTag.empty()) return;
  if (!declaration) TrackElement();
  if (HandleTag) HandleTag(*this);
}

void TwytXML::NoteError(std::string reason, size_t line) {
  if (!FError.empty()) return;
  FError = std::move(reason);
  FErrorLine = line;
}

// Follows which elements are open; a closing tag that matches none is
// noted, one that closes an outer element closes the ones inside it too.
void TwytXML::TrackElement() {
  if (FSelfClosing || FTag[0] == '!') return;
  if (FTag[0] != '/') {
    FOpen.emplace_back(FTag, FTagLine);
    return;
  }
  const std::string_view name = std::string_view(FTag).substr(1);
  size_t i = FOpen.size();
  while (i > 0 && FOpen[i - 1].first != name) --i;
  if (i == 0) {
    NoteError("</" + std::string(name) + "> closes no open element", FTagLine);
    return;
  }
  if (i != FOpen.size())
    NoteError("</" + std::string(name) + "> closes <" + FOpen.back().first + "> (line " +
                  std::to_string(FOpen.back().second) + ")",
              FTagLine);
  FOpen.resize(i - 1);
}

void TwytXML::CountLines(const char* to) {
  if (FCounted && to > FCounted) {
    FLines += static_cast<size_t>(std::count(FCounted, to, '\n'));
    FCounted = to;
  }
}

void TwytXML::Tokenize(const char* p, const char* const end) {
  FCounted = p;
  TokenizeScan(p, end);
  CountLines(end);
  FCounted = nullptr;
}

// ---------------------------------------------------------------------------
// The scanner

void TwytXML::TokenizeScan(const char* p, const char* const end) {
  while (p < end) {
    switch (FScan) {
      case scText: {
        const char* lt =
            static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        const char* stop = lt ? lt : end;
        if (stop != p) AppendText(p, stop, true);
        if (!lt) return;
        CountLines(lt);
        FTagLine = FLines + 1;
        p = lt + 1;
        FScan = scTagStart;
        break;
      }

      case scTagStart: {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return;
        if (*p == '!') {
          // Comment, CDATA section or declaration: the text around comments
          // and CDATA sections stays one piece, so nothing is delivered yet.
          FBang.assign(1, '!');
          ++p;
          FScan = scBang;
        } else if (*p == '>') {
          ++p;  // "<>": no tag
          FScan = scText;
        } else {
          BeginTag();
          FScan = scTagName;
        }
        break;
      }

      case scBang: {
        const char c = *p;
        if (kStop[U(c)] & kEndsTagName) {
          BeginTagFromBang();
          FScan = scTagName;  // ends the name there
          break;
        }
        FBang.push_back(c);
        ++p;
        const size_t n = FBang.size();
        if (FBang == kCommentStart) {
          FBang.clear();
          FScan = scComment;
        } else if (SameTextAZ(FBang, kCDataStart)) {
          FBang.clear();
          FScan = scCData;
        } else if (!(n <= kCommentStart.size() && kCommentStart.compare(0, n, FBang) == 0) &&
                   !(n <= kCDataStart.size() && SameTextAZ(kCDataStart.substr(0, n), FBang))) {
          BeginTagFromBang();
          FScan = scTagName;
        }
        break;
      }

      case scTagName: {
        const char* s = p;
        while (p < end && !(kStop[U(*p)] & kEndsTagName)) ++p;
        FTag.append(s, p);
        if (p == end) return;
        if (*p++ == '>') {
          CompleteTag();
        } else {
          FScan = scParamSpace;
        }
        break;
      }

      case scComment: {
        // Ends at the first "-->" of a line; dropped.
        const char* gt =
            static_cast<const char*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
        if (!gt) return;
        if (gt - p >= 2 && gt[-1] == '-' && gt[-2] == '-') FScan = scText;
        p = gt + 1;
        break;
      }

      case scCData: {
        // Up to the first "]]>" of a line, delivered as text as written.
        const char* q = p;
        for (;;) {
          const char* gt =
              static_cast<const char*>(std::memchr(q, '>', static_cast<size_t>(end - q)));
          if (!gt) {
            AppendText(p, end, false);
            return;
          }
          if (gt - p >= 2 && gt[-1] == ']' && gt[-2] == ']') {
            AppendText(p, gt - 2, false);
            p = gt + 1;
            FScan = scText;
            break;
          }
          q = gt + 1;
        }
        break;
      }

      case scParamSpace: {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return;
        const char c = *p;
        if (c == '>') {
          ++p;
          CompleteTag();
        } else if (c == '/') {
          FSlash = true;  // self-closing when ">" follows
          ++p;
        } else if (c == '?') {
          ++p;  // the end of a declaration
        } else {
          FSlash = false;
          CurrentParam().clear();
          FScan = scParamName;
        }
        break;
      }

      case scParamName: {
        const char* s = p;
        while (p < end && !(kStop[U(*p)] & kEndsParamName)) ++p;
        CurrentParam().append(s, p);
        if (p == end) return;
        if (*p == '=') {
          CurrentParam().push_back('=');
          ++p;
          FScan = scParamBeforeValue;
        } else if (IsSpace(*p)) {
          ++p;
          FScan = scParamAfterName;
        } else {
          DiscardParam();  // a name without value; ">" or "/" comes next
          FScan = scParamSpace;
        }
        break;
      }

      case scParamAfterName: {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return;
        if (*p == '=') {
          CurrentParam().push_back('=');
          ++p;
          FScan = scParamBeforeValue;
        } else {
          DiscardParam();
          FScan = scParamSpace;
        }
        break;
      }

      case scParamBeforeValue: {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) return;
        if (*p == '"' || *p == '\'') {
          FQuote = *p++;
          FScan = scParamQuoted;
        } else if (*p == '>') {
          CommitParam();  // "name=" with an empty value
          FScan = scParamSpace;
        } else {
          FScan = scParamUnquoted;
        }
        break;
      }

      case scParamQuoted: {
        const char* q =
            static_cast<const char*>(std::memchr(p, FQuote, static_cast<size_t>(end - p)));
        const char* stop = q ? q : end;
        AppendXmlDecoded(CurrentParam(), p, static_cast<size_t>(stop - p), true);
        if (!q) return;
        p = q + 1;
        CommitParam();
        FScan = scParamSpace;
        break;
      }

      case scParamUnquoted: {
        const char* s = p;
        while (p < end && !(kStop[U(*p)] & kEndsTagName)) ++p;
        const char* e = p;
        if (p < end && *p == '>' && e > s) {
          // "a=1/>" and "<?xml version=1.0?>": the last character ends the tag.
          if (e[-1] == '/') {
            --e;
            FSlash = true;
          } else if (e[-1] == '?' && !FTag.empty() && FTag[0] == '?') {
            --e;
          }
        }
        AppendXmlDecoded(CurrentParam(), s, static_cast<size_t>(e - s), true);
        if (p == end) return;  // the line end finishes the value
        CommitParam();
        FScan = scParamSpace;
        break;
      }
    }
  }
}

void TwytXML::EndOfLine() {
  // A line break inside a tag counts as a blank.
  switch (FScan) {
    case scBang:
      BeginTagFromBang();
      FScan = scParamSpace;
      break;
    case scTagName:
      FScan = scParamSpace;
      break;
    case scParamName:
      FScan = scParamAfterName;
      break;
    case scParamUnquoted:
      CommitParam();
      FScan = scParamSpace;
      break;
    case scParamQuoted:
      CurrentParam().push_back(' ');
      break;
    default:
      break;
  }
  DeliverText();
}

}  // namespace wy
