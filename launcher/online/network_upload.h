// The network-disk upload that ends every backup: the vendor service grants
// FTP access for this installation, the archive goes to the server that
// worked last (or to the other one), and a finished upload is confirmed to
// the service. Every step leaves a status block; an archive that could not
// be uploaded stays where it is. Window thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "launcher/core/app.h"

namespace launcher {

// The FTP access of the service's reply, deciphered.
struct FtpAccess {
  std::string user;
  std::string password;
  std::string hosts[2];
  std::string folder;
};

// The access of a reply "OK:" + hexadecimal text, or the reason why the
// reply holds none (a refusal, a bad hexadecimal text, too few items).
std::optional<FtpAccess> ReadFtpAccess(const std::string& reply, std::string* reason);

// The shop's first business date into app.BeginDate (from the settings, else
// the first sale or customer, and then kept in the settings); the whole days
// since then, or -1 when unknown or without a connection.
int DetermineBeginDate(App& app);

class TNetworkUpload {
 public:
  TNetworkUpload(App& app, std::function<void(const std::string&)> addStatus);

  // 1 when the service granted access (whether or not a server then took the
  // archive), 0 otherwise.
  int UploadArchive(const std::string& archive);

 private:
  std::string requestParameters(const std::string& archive);

  App& app_;
  std::function<void(const std::string&)> addStatus_;
};

}  // namespace launcher
