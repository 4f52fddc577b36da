#pragma once

#include <string>
#include <vector>

namespace wy {

// Number of lines each photo takes in a page's item list, in this order:
// upload_date, photo_id, longitude, latitude, photo_title, owner_id,
// owner_name, photo_file_url.
constexpr int kPhotoLines = 8;

// Reads one page of a photo search answer (JSON, read by formats/json_parser):
// appends kPhotoLines lines per object of the "photos" array to `items` (a
// missing key gives an empty line; escapes decoded to UTF-8; values nested
// deeper in a photo are skipped) and sets `has_more` when the answer says
// more pages follow and holds a whole, non-empty photo list. Every photo is
// taken, the last one too, and numbers are read whole; a photo cut short by
// the end of the text is dropped.
void ReadPhotoPage(const std::string& json, std::vector<std::string>& items, bool& has_more);

}  // namespace wy
