#pragma once
// Reading parts of a remote file by HTTP range requests (a remote PMTiles
// archive), and whole tiles of an HTTP template, through the program's one
// libcurl set-up (User-Agent, time-outs, proxy rules of http_setup.h).
// Both block the calling thread for one transfer.

#include <string>

#include "tiles/pmtiles.h"

namespace wy {

// A range reader over the file at `url` (http or https). A server that
// ignores the range and sends the whole file is refused when the file is
// larger than the download cap, else the asked part is cut from it.
TRangeReader HttpRangeReader(const std::string& url);

// The body at `url`: true with the bytes; false with `error` empty when the
// server has no such tile (404, 204), with the reason otherwise.
bool FetchTileBytes(const std::string& url, std::string& bytes, std::string& error);

}  // namespace wy
