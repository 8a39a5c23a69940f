// The pbxhost protocol: one JSON request per line in, one JSON reply per
// line out. Strings travel as UTF-8; bytes that are not GBK travel as "hex".
#pragma once

#include <string>

#include "host/host.h"

namespace host {

class Protocol {
 public:
  explicit Protocol(Host& host) : host_(host) {}

  // One request line to one reply line (without the line feed). Never throws.
  std::string handle(const std::string& line);

 private:
  Host& host_;
};

}  // namespace host
