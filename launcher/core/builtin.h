// The launcher's built-in values: the vendor's hosts, the product web
// address and the customer-service numbers. They stand in one place; the
// hosts use reserved example domains until an installation's own are known.
#pragma once

namespace launcher::builtin {

inline constexpr const char* kBackupFtpHost1 = "ftp1.example.com";
inline constexpr const char* kBackupFtpHost2 = "ftp2.example.net";
inline constexpr const char* kProductWebAddress = "http://www.example.com/";
inline constexpr const char* kTutorialPage = "vediolist_104.html";
inline constexpr const char* kServiceQQGroup = "100000000";
inline constexpr const char* kServiceTelephone = "400-000-0000";
inline constexpr const char* kApplicationTitle = "澜岳软件";
inline constexpr const char* kVersionCaption = "版本号： 2016.04.12";

}  // namespace launcher::builtin
