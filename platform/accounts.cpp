// Accounts from the system's account database; PAM is loaded at each check,
// so a machine without it still runs everything else.
#include "platform/accounts.h"

#include <dlfcn.h>
#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace platform {
namespace {

constexpr const char* kPamService = "nxclass-runas";

std::optional<Account> fromEntry(const passwd* entry) {
  if (entry == nullptr) return std::nullopt;
  Account account;
  account.name = entry->pw_name;
  account.uid = entry->pw_uid;
  account.gid = entry->pw_gid;
  account.home = entry->pw_dir != nullptr ? entry->pw_dir : "/";
  account.shell = entry->pw_shell != nullptr ? entry->pw_shell : "/bin/sh";
  int count = 16;
  account.groups.resize(static_cast<std::size_t>(count));
  while (getgrouplist(entry->pw_name, entry->pw_gid, account.groups.data(), &count) < 0)
    account.groups.resize(static_cast<std::size_t>(count));
  account.groups.resize(static_cast<std::size_t>(count));
  return account;
}

std::optional<Account> accountOf(const char* name, uid_t uid) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int rc = name != nullptr ? getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found)
                                   : getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (rc == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    return rc == 0 ? fromEntry(found) : std::nullopt;
  }
}

// Every prompt that hides its answer gets the password; a visible one the
// user name. PAM frees the answers, so they come from malloc.
struct Secrets {
  const std::string* user;
  const std::string* password;
};

int answer(int count, const pam_message** messages, pam_response** responses, void* data) {
  const auto* secrets = static_cast<const Secrets*>(data);
  auto* replies = static_cast<pam_response*>(
      std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (replies == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_PROMPT_ECHO_OFF) replies[i].resp = strdup(secrets->password->c_str());
    if (style == PAM_PROMPT_ECHO_ON) replies[i].resp = strdup(secrets->user->c_str());
  }
  *responses = replies;
  return PAM_SUCCESS;
}

template <class Function>
Function symbol(void* library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library, name));
}

}  // namespace

std::optional<Account> lookUpAccount(const std::string& name) { return accountOf(name.c_str(), 0); }

std::string effectiveUserName() {
  const std::optional<Account> account = accountOf(nullptr, geteuid());
  return account ? account->name : std::string();
}

bool maySwitchUsers() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    const unsigned long long effective = std::strtoull(line.c_str() + 7, nullptr, 16);
    constexpr unsigned long long kSetGid = 1ull << 6, kSetUid = 1ull << 7;
    return (effective & (kSetGid | kSetUid)) == (kSetGid | kSetUid);
  }
  return geteuid() == 0;
}

Authentication authenticate(const std::string& user, const std::string& password) {
  void* library = dlopen("libpam.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return Authentication::Unavailable;
  using Start = int (*)(const char*, const char*, const pam_conv*, pam_handle_t**);
  using StartIn = int (*)(const char*, const char*, const pam_conv*, const char*, pam_handle_t**);
  using Step = int (*)(pam_handle_t*, int);
  const auto start = symbol<Start>(library, "pam_start");
  const auto startIn = symbol<StartIn>(library, "pam_start_confdir");
  const auto check = symbol<Step>(library, "pam_authenticate");
  const auto valid = symbol<Step>(library, "pam_acct_mgmt");
  const auto end = symbol<Step>(library, "pam_end");
  const char* confdir = std::getenv("NORVEX_PAM_CONFDIR");
  const bool ownRules = confdir != nullptr && *confdir != '\0';
  if (start == nullptr || check == nullptr || valid == nullptr || end == nullptr ||
      (ownRules && startIn == nullptr)) {
    dlclose(library);
    return Authentication::Unavailable;
  }
  Secrets secrets{&user, &password};
  const pam_conv conversation{answer, &secrets};
  pam_handle_t* handle = nullptr;
  int rc = ownRules ? startIn(kPamService, user.c_str(), &conversation, confdir, &handle)
                    : start(kPamService, user.c_str(), &conversation, &handle);
  if (rc == PAM_SUCCESS) rc = check(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (rc == PAM_SUCCESS) rc = valid(handle, PAM_SILENT);
  if (handle != nullptr) end(handle, rc);
  dlclose(library);
  return rc == PAM_SUCCESS ? Authentication::Accepted : Authentication::Refused;
}

}  // namespace platform
