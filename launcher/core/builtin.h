// The launcher's built-in values: the vendor's hosts, the product web
// address and the customer-service numbers. They stand in one place; the
// hosts use reserved example names and a documentation address until an
// installation's own are known, and each host can be set through the
// environment (installations, and tests that point them at loopback).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace launcher::builtin {

inline constexpr const char* kVendorDefaultHost = "ws.example.com";
inline constexpr const char* kVendorFallback = "192.0.2.10";
// The primary web-service host label and the two further ones.
inline constexpr const char* kVendorHostLabels = "ws1,ws2,ws3";
inline constexpr const char* kVendorDomain = "example.com";
inline constexpr const char* kBackupFtpHost1 = "ftp1.example.com";
inline constexpr const char* kBackupFtpHost2 = "ftp2.example.net";
inline constexpr const char* kProductWebAddress = "http://www.example.com/";
inline constexpr const char* kTutorialPage = "vediolist_104.html";
inline constexpr const char* kServiceQQGroup = "100000000";
inline constexpr const char* kServiceTelephone = "400-000-0000";
inline constexpr const char* kApplicationTitle = "澜岳软件";
inline constexpr const char* kVersionCaption = "版本号： 2016.04.12";

// The environment's value of `name` when set and not empty, else `builtIn`.
inline std::string Setting(const char* name, const char* builtIn) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : builtIn;
}

inline std::string VendorDefaultHost() {
  return Setting("NORVEX_VENDOR_DEFAULT_HOST", kVendorDefaultHost);
}
inline std::string VendorFallback() { return Setting("NORVEX_VENDOR_FALLBACK", kVendorFallback); }
inline std::string VendorDomain() { return Setting("NORVEX_VENDOR_DOMAIN", kVendorDomain); }
inline std::string BackupFtpHost1() { return Setting("NORVEX_BACKUP_FTP_HOST1", kBackupFtpHost1); }
inline std::string BackupFtpHost2() { return Setting("NORVEX_BACKUP_FTP_HOST2", kBackupFtpHost2); }

// The three host labels, in the host list's order; a setting with fewer
// than three keeps the built-in ones for the rest.
inline std::vector<std::string> VendorHostLabels() {
  const auto split = [](const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = text.find(',', start);
      parts.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
      if (comma == std::string::npos) return parts;
      start = comma + 1;
    }
  };
  std::vector<std::string> labels = split(kVendorHostLabels);
  const std::vector<std::string> set = split(Setting("NORVEX_VENDOR_HOSTS", kVendorHostLabels));
  for (std::size_t i = 0; i < labels.size() && i < set.size(); ++i) {
    if (!set[i].empty()) labels[i] = set[i];
  }
  return labels;
}

}  // namespace launcher::builtin
