// The installation's identifier towards the vendor: an opaque text, stable
// for this machine, empty when it cannot be obtained.
#pragma once

#include <string>

namespace launcher {

// The upper-case MD5 digest of the machine id (/etc/machine-id, or
// $NORVEX_MACHINE_ID_FILE), so the machine id itself never leaves the shop.
std::string ObtainInstallationId();

}  // namespace launcher
