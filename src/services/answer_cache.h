#pragma once
// The disk cache of service answers. A file is named after its request
// (CrcText of the request text, chosen by the caller) and holds the request
// text itself before the answer, so that two requests whose names collide
// never share an answer: a file whose request differs is a miss.
//
// File layout: the line "wymap-answer-to <n>", the n bytes of the request
// text and a line feed, then the answer's bytes as received. A file without
// that first line (written by an older version, which kept only the answer)
// cannot tell which request it answers and is a miss as well; the next
// answer to arrive replaces it.
//
// Writing goes to a temporary file beside the target that is then renamed
// into place, so a reader never sees half a file. Thread-safe; several
// processes may share a folder.

#include <cstdint>
#include <string>

namespace wy {

// The answer stored in `path` for `request`; false (answer untouched) when
// the file is missing, unreadable, of another request or of the old layout,
// or its answer is empty or larger than maxBytes (0: no limit).
bool ReadCachedAnswer(const std::string& path, const std::string& request, std::string& answer,
                      uint64_t maxBytes = 0);

// Stores `answer` for `request` in `path`, creating the folders. False when
// it could not be written (nothing is left behind then).
bool WriteCachedAnswer(const std::string& path, const std::string& request,
                       const std::string& answer);

}  // namespace wy
