#pragma once
// The cache command of the wymap tool: what the disk cache of tiles holds,
// and clearing it.
//
//   wymap cache stats                      one line per tile folder
//   wymap cache clear [--older-than DAYS]  deletes tiles (all, or those not
//                                          used for DAYS days)

#include <ostream>
#include <string>

namespace wy {

struct TCacheCommand {
  std::string Action;  // "stats" or "clear"
  std::string Folder;  // the cache folder
  bool HasOlderThan = false;
  double OlderThanDays = 0;
  bool Json = false;
};

// Runs the command; returns the tool's exit code.
int RunCacheCommand(const TCacheCommand& command, std::ostream& out, std::ostream& err);

}  // namespace wy
