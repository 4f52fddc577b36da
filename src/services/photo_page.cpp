#include "services/photo_page.h"

#include <array>
#include <cstring>

#include "geo/text_convert.h"

namespace wy {

namespace {

const std::array<const char*, kPhotoLines> kKeys = {"upload_date", "photo_id",      "longitude",
                                                    "latitude",    "photo_title",   "owner_id",
                                                    "owner_name",  "photo_file_url"};

// Reads a quoted string starting at json[pos] == '"'; leaves pos after the
// closing quote. Escapes other than "\uXXXX" keep their backslash for
// JsonUnescape, except an escaped quote, which becomes a quote.
std::string ReadString(const std::string& json, size_t& pos) {
  std::string out;
  ++pos;
  while (pos < json.size() && json[pos] != '"') {
    if (json[pos] == '\\' && pos + 1 < json.size()) {
      if (json[pos + 1] == '"' || json[pos + 1] == '/') {
        out += json[pos + 1];
      } else {
        out += json[pos];
        out += json[pos + 1];
      }
      pos += 2;
      continue;
    }
    out += json[pos++];
  }
  if (pos < json.size()) ++pos;
  return JsonUnescape(out);
}

size_t SkipSpace(const std::string& json, size_t pos) {
  while (pos < json.size() &&
         (json[pos] == ' ' || json[pos] == '\t' || json[pos] == '\n' || json[pos] == '\r'))
    ++pos;
  return pos;
}

}  // namespace

void ReadPhotoPage(const std::string& json, std::vector<std::string>& items, bool& has_more) {
  has_more = false;
  // The photo list: the array of the "photos" member, else the first array
  // of objects. Whitespace between tokens is allowed anywhere JSON allows it.
  size_t pos = json.find("\"photos\"");
  if (pos != std::string::npos) {
    pos = SkipSpace(json, pos + 8);
    if (pos >= json.size() || json[pos] != ':') return;
    pos = SkipSpace(json, pos + 1);
    if (pos >= json.size() || json[pos] != '[') return;
  } else {
    pos = json.find("[{");
    if (pos == std::string::npos) return;
  }
  pos = SkipSpace(json, pos + 1);
  bool whole = false;  // the list ended with its "]"
  while (pos < json.size() && json[pos] == '{') {
    std::array<std::string, kPhotoLines> photo;
    ++pos;
    while (pos < json.size() && json[pos] != '}') {
      if (json[pos] != '"') {
        ++pos;
        continue;
      }
      const std::string key = ReadString(json, pos);
      pos = SkipSpace(json, pos);
      if (pos >= json.size() || json[pos] != ':') continue;
      pos = SkipSpace(json, pos + 1);
      std::string value;
      if (pos < json.size() && json[pos] == '"') {
        value = ReadString(json, pos);
      } else {
        const size_t end = json.find_first_of(",}", pos);
        value = Trim(json.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? json.size() : end;
      }
      for (int i = 0; i < kPhotoLines; ++i)
        if (key == kKeys[i]) photo[i] = value;
    }
    if (pos >= json.size()) break;  // a cut answer: the unfinished photo is dropped
    items.insert(items.end(), photo.begin(), photo.end());
    pos = SkipSpace(json, pos + 1);  // past '}'
    if (pos < json.size() && json[pos] == ',') pos = SkipSpace(json, pos + 1);
    if (pos < json.size() && json[pos] == ']') whole = true;
  }
  if (!whole || items.empty()) return;
  size_t more = json.find("\"has_more\"");
  if (more == std::string::npos) return;
  more = SkipSpace(json, more + 10);
  if (more >= json.size() || json[more] != ':') return;
  more = SkipSpace(json, more + 1);
  has_more = json.compare(more, 4, "true") == 0;
}

}  // namespace wy
