// Whole files and the output of a tool, as tests read and write them.
#pragma once

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/process.h"

namespace testsupport {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// What a program writes to its standard output and error, and its exit
// code; the reason and -1 when it cannot be started.
inline std::pair<std::string, int> runTool(const std::vector<std::string>& argv,
                                           const platform::Environment& environment = {}) {
  std::string error, output;
  auto child = platform::Processes::Default().startCaptured(argv, environment, &error);
  if (!child) return {error, -1};
  while (child->read(&output, std::chrono::milliseconds(1000))) {
  }
  return {output, child->wait()};
}

}  // namespace testsupport
