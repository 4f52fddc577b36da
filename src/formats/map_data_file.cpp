#include "formats/map_data_file.h"

#include <utility>

namespace wy {

namespace {

constexpr std::string_view kGenericMark = "#GENERIC#";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::atomic<uint64_t> gIndexed{0};
std::atomic<uint64_t> gIndexedBytes{0};
std::atomic<uint64_t> gLookups{0};
std::atomic<uint64_t> gSectionBytes{0};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// "[name]" of a header text, or "" when it has no "]".
std::string_view HeaderKey(std::string_view text) {
  const size_t close = text.find(']');
  return close == std::string_view::npos ? std::string_view() : text.substr(0, close + 1);
}

}  // namespace

TWyMapDataFile::TWyMapDataFile(std::string text) : FText(std::move(text)) {
  if (FText.compare(0, kBom.size(), kBom) == 0) FText.erase(0, kBom.size());
  const size_t n = FText.size();
  size_t start = 0;
  while (start < n) {
    size_t end = start;
    while (end < n && FText[end] != '\n' && FText[end] != '\r') ++end;
    FLines.push_back({start, end - start});
    if (end < n && FText[end] == '\r' && end + 1 < n && FText[end + 1] == '\n') ++end;
    start = end + 1;
  }
  for (size_t i = 0; i < FLines.size(); ++i) {
    const std::string_view header = HeaderText(i);
    if (header.empty() || header.front() != '[') continue;
    const std::string_view key = HeaderKey(header);
    if (!key.empty()) FHeaders[std::string(key)].push_back(i);
  }
  ++gIndexed;
  gIndexedBytes += n;
}

std::string_view TWyMapDataFile::Line(size_t index) const {
  if (index >= FLines.size()) return {};
  return std::string_view(FText).substr(FLines[index].Start, FLines[index].Length);
}

std::string_view TWyMapDataFile::HeaderText(size_t index) const {
  std::string_view text = TrimLeft(Line(index));
  if (text.compare(0, kGenericMark.size(), kGenericMark) == 0)
    text.remove_prefix(kGenericMark.size());
  return text;
}

bool TWyMapDataFile::IsHeaderOf(size_t index, std::string_view section) const {
  return HeaderText(index).compare(0, section.size(), section) == 0;
}

size_t TWyMapDataFile::FindHeader(const std::string& section) const {
  ++gLookups;
  if (section.empty()) return std::string::npos;
  const std::string_view key = HeaderKey(section);
  if (section.front() == '[' && !key.empty()) {
    auto it = FHeaders.find(std::string(key));
    if (it == FHeaders.end()) return std::string::npos;
    for (size_t index : it->second)
      if (IsHeaderOf(index, section)) return index;
    return std::string::npos;
  }
  // Not a bracketed name: every line is a candidate.
  for (size_t i = 0; i < FLines.size(); ++i)
    if (IsHeaderOf(i, section)) return i;
  return std::string::npos;
}

bool TWyMapDataFile::HasSection(const std::string& section) const {
  return FindHeader(section) != std::string::npos;
}

std::string TWyMapDataFile::ReadSection(const std::string& section) const {
  const size_t header = FindHeader(section);
  if (header == std::string::npos) return "";
  size_t first = header + 1;
  size_t last = first;  // one past the section's last line
  while (last < FLines.size()) {
    const std::string_view text = TrimLeft(Line(last));
    if (!text.empty() && text.front() == '[') break;
    ++last;
  }
  // Blank lines at both ends go with the trimming below.
  while (first < last && TrimLeft(Line(first)).empty()) ++first;
  while (last > first && TrimLeft(Line(last - 1)).empty()) --last;
  if (first == last) return "";
  size_t size = 0;
  for (size_t i = first; i < last; ++i) size += FLines[i].Length + 2;
  std::string out;
  out.reserve(size);
  for (size_t i = first; i < last; ++i) {
    out.append(FText, FLines[i].Start, FLines[i].Length);
    out += "\r\n";
  }
  // The blanks at both ends (the first line's leading ones, the last line's
  // trailing ones and its line break).
  size_t begin = 0;
  while (begin < out.size() && IsBlank(out[begin])) ++begin;
  size_t end = out.size();
  while (end > begin && IsBlank(out[end - 1])) --end;
  out.erase(end);
  out.erase(0, begin);
  gSectionBytes += out.size();
  return out;
}

TWyMapDataFile::TWork TWyMapDataFile::Work() {
  TWork work;
  work.Indexed = gIndexed.load();
  work.IndexedBytes = gIndexedBytes.load();
  work.Lookups = gLookups.load();
  work.SectionBytes = gSectionBytes.load();
  return work;
}

void TWyMapDataFile::ResetWork() {
  gIndexed = 0;
  gIndexedBytes = 0;
  gLookups = 0;
  gSectionBytes = 0;
}

}  // namespace wy
