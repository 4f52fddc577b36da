#pragma once
// Runs the wymap tool in-process and keeps what it printed.

#include <sstream>
#include <string>
#include <vector>

#include "tools/wymap_cli.h"

namespace wy {

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

inline TRun Wymap(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  TRun run;
  run.Code = RunWymap(args, out, err);
  run.Out = out.str();
  run.Err = err.str();
  return run;
}

}  // namespace wy
