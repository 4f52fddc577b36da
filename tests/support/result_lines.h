#pragma once
// The lines of a services result list as a vector, for comparisons.

#include <string>
#include <vector>

#include "services/geocoding.h"

namespace wy {
namespace test_support {

inline std::vector<std::string> LinesOf(const TServiceResultList& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Strings(i));
  return lines;
}

}  // namespace test_support
}  // namespace wy
