// The machine's user accounts: looking one up, whether this process may take
// another account's identity, and checking an account's password with PAM.
// Safe from any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct Account {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // every group of the account, its own included
  std::string home;
  std::string shell;
};

// nullopt when the machine has no account of that name.
std::optional<Account> lookUpAccount(const std::string& name);

// The name of the account this process acts as (its effective user); empty
// when the account database does not know it.
std::string effectiveUserName();

// Whether this process may switch its user and groups (CAP_SETUID and
// CAP_SETGID in effect, as root has).
bool maySwitchUsers();

enum class Authentication { Accepted, Refused, Unavailable };

// Checks `password` for `user` with PAM (service "nxclass-runas"; a machine
// without that service file applies its "other" rules), and the account's
// validity. Unavailable when the PAM library cannot be loaded.
// $NORVEX_PAM_CONFDIR names a folder of service files used instead of the
// machine's.
Authentication authenticate(const std::string& user, const std::string& password);

}  // namespace platform
