#pragma once
// Hints to the system about large buffers.

#include <cstddef>
#include <string>

namespace wy {

// Asks for the whole 2 MiB pages inside [data, data + size) to be backed by
// huge pages where the system offers them on request (Linux transparent huge
// pages in "madvise" mode), before the buffer is first written: a buffer of
// tens of megabytes then costs a few dozen page faults instead of thousands.
// Buffers under 4 MiB, and systems without the feature, are left as they
// are. Purely a hint: nothing changes in what the buffer holds.
void AdviseHugePages(void* data, size_t size);

// text.reserve(size), the new room advised as above: for texts that grow
// to many megabytes (a whole file, a converted document).
void ReserveText(std::string& text, size_t size);

}  // namespace wy
