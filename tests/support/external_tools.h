#pragma once
// Running the command-line checkers some tests use on written files
// (xmllint, jq, ogrinfo). Tests skip when a checker is not installed;
// scripts/install-deps.sh installs them.

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace wy {
namespace test_support {

// Runs `command` through the shell; `output` receives its standard output.
// Returns the exit status (-1 when it could not be started).
inline int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 65536> buffer;
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& name) {
  std::string ignored;
  return RunCommand("command -v " + name + " >/dev/null 2>&1", ignored) == 0;
}

// A path quoted for the shell.
inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The geometries ogrinfo reads from `file` (all layers, or the given ones):
// one entry per feature, its positions as (x, y) pairs in the order
// written; heights are dropped. Empty when ogrinfo fails.
inline std::vector<std::vector<std::pair<double, double>>> OgrGeometries(
    const std::string& file, const std::string& layers = "") {
  std::vector<std::vector<std::pair<double, double>>> features;
  std::string output;
  const std::string command = "ogrinfo -ro -q " + (layers.empty() ? std::string("-al ") : "") +
                              ShellQuote(file) + " " + layers + " 2>/dev/null";
  if (RunCommand(command, output) != 0) return features;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() < 3 || line[0] != ' ' || line[1] != ' ' || line[2] < 'A' || line[2] > 'Z')
      continue;
    const size_t open = line.find('(');
    if (open == std::string::npos) continue;
    const std::string head = line.substr(2, open - 2);
    if (head.find("POINT") == std::string::npos && head.find("LINESTRING") == std::string::npos &&
        head.find("POLYGON") == std::string::npos)
      continue;
    const bool z = head.find(" Z") != std::string::npos;
    std::vector<double> numbers;
    std::string rest = line.substr(open);
    for (char& c : rest)
      if (c == '(' || c == ')' || c == ',') c = ' ';
    std::istringstream values(rest);
    double v = 0;
    while (values >> v) numbers.push_back(v);
    std::vector<std::pair<double, double>> positions;
    const size_t step = z ? 3 : 2;
    for (size_t i = 0; i + 1 < numbers.size(); i += step)
      positions.emplace_back(numbers[i], numbers[i + 1]);
    features.push_back(std::move(positions));
  }
  return features;
}

}  // namespace test_support
}  // namespace wy
