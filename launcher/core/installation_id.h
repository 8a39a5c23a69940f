// The installation's identifier towards the vendor: an opaque text, stable
// for this machine, never empty (the vendor service and the clients'
// driverno rely on it).
#pragma once

#include <string>

namespace launcher {

// The upper-case MD5 digest of the machine id, so the machine id itself never
// leaves the shop. The machine id is the first of /etc/machine-id and
// /var/lib/dbus/machine-id (or the colon-separated files of
// $NORVEX_MACHINE_ID_FILE) that holds one; a bare container has neither, and
// then an identifier made once is kept in `appDir`'s config/installation-id.
std::string ObtainInstallationId(const std::string& appDir);

}  // namespace launcher
