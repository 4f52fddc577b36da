#pragma once

#include <string>
#include <vector>

namespace wy {

// Number of lines each photo takes in a page's item list, in this order:
// upload_date, photo_id, longitude, latitude, photo_title, owner_id,
// owner_name, photo_file_url.
constexpr int kPhotoLines = 8;

// Reads one page of a photo search answer (JSON): appends kPhotoLines lines
// per photo to `items` (a missing key gives an empty line; "\uXXXX" escapes
// decoded to UTF-8) and sets `has_more` when the answer says more pages
// follow and holds a photo list. Every photo is taken, the last one too, and
// numbers are read whole.
void ReadPhotoPage(const std::string& json, std::vector<std::string>& items, bool& has_more);

}  // namespace wy
