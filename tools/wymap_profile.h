#pragma once
// wymap profile FILE -o OUT.png [--size WxH] [--track N] [--time] [--speed]:
// the elevation profile of one track of a file of shapes as a PNG picture,
// drawn by the profile widget's own painter. N counts from 1 (default 1);
// the size defaults to 800x240.

#include <ostream>
#include <string>
#include <vector>

namespace wy {

// `args` are the words after "profile".
int RunProfile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
std::string ProfileUsage();

}  // namespace wy
