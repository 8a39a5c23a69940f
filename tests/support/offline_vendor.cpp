// Every vendor host the product knows points at a loopback address where
// nothing listens before a test starts, so that no test reaches past this
// machine; a test that wants an answer starts its stand-in and points the
// host at it. Settings already in the environment stay.
#include <cstdlib>

namespace {

const bool offline = [] {
  const char* const settings[][2] = {{"NORVEX_VENDOR_DEFAULT_HOST", "127.0.2.1"},
                                     {"NORVEX_VENDOR_FALLBACK", "127.0.2.2"},
                                     {"NORVEX_VENDOR_HOSTS", "127.0.2.3,127.0.2.4,127.0.2.5"},
                                     {"NORVEX_VENDOR_DOMAIN", "localhost"},
                                     {"NORVEX_BACKUP_FTP_HOST1", "127.0.2.6"},
                                     {"NORVEX_BACKUP_FTP_HOST2", "127.0.2.7"}};
  for (const auto& setting : settings) setenv(setting[0], setting[1], 0);
  return true;
}();

}  // namespace
