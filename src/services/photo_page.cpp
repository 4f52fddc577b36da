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

}  // namespace

void ReadPhotoPage(const std::string& json, std::vector<std::string>& items, bool& has_more) {
  has_more = false;
  const size_t list = json.find("[{");
  if (list == std::string::npos) return;
  has_more = json.find("\"has_more\":true") != std::string::npos &&
             json.find("}]", list) != std::string::npos;
  size_t pos = list + 1;
  while (pos < json.size() && json[pos] == '{') {
    std::array<std::string, kPhotoLines> photo;
    ++pos;
    while (pos < json.size() && json[pos] != '}') {
      if (json[pos] != '"') {
        ++pos;
        continue;
      }
      const std::string key = ReadString(json, pos);
      if (pos >= json.size() || json[pos] != ':') continue;
      ++pos;
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
    ++pos;  // past '}'
    if (pos < json.size() && json[pos] == ',') ++pos;
  }
}

}  // namespace wy
