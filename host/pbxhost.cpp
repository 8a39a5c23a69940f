// pbxhost [--lib PATH]: loads an extension library (default: nxclass.pbx
// beside this program) and answers JSON requests, one per line, on stdin.
#include <cstdio>
#include <iostream>
#include <string>

#include "host/host.h"
#include "host/protocol.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  std::string library = platform::executableDir() + "nxclass.pbx";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lib" && i + 1 < argc) {
      library = argv[++i];
    } else {
      std::fprintf(stderr, "usage: pbxhost [--lib PATH]\n");
      return 2;
    }
  }
  try {
    host::Host extension(library);
    host::Protocol protocol(extension);
    std::ios::sync_with_stdio(false);
    for (std::string line; std::getline(std::cin, line);) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      std::cout << protocol.handle(line) << '\n' << std::flush;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pbxhost: %s\n", error.what());
    return 1;
  }
  return 0;
}
