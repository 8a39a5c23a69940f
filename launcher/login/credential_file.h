// The credential file config/config.xml: the database account the launcher works with, the
// user name in plain text and the password enciphered under the credential key. Loading raises
// LauncherError; saving keeps every byte pugixml can keep and writes owner-only, atomically.
#pragma once

#include <memory>
#include <string>

#include "launcher/ui/desktop.h"

namespace launcher {

// Relative to the application folder.
inline constexpr char kCredentialFileName[] = "config/config.xml";
inline constexpr char kCredentialKey[] = "Qk#7m02x";

// The login attempt's message box when the file cannot be loaded or parsed.
inline constexpr char kCredentialReadFailedText[] = "读XML配置文件错误！";
inline constexpr char kCredentialReadFailedCaption[] = "提示";
inline constexpr ui::Icon kCredentialReadFailedIcon = ui::Icon::Warning;

// What the file gives for the launcher-wide values; the password deciphered (empty when it
// is not valid hexadecimal). GBK text.
struct StoredCredentials {
  std::string DbUser;
  std::string DbPassword;
};

// appDir (ending with '/' or not) + kCredentialFileName.
std::string CredentialFilePath(const std::string& appDir);

// Reads the file and returns dbuser and dbpass with blanks removed at either end, the password
// deciphered. A missing element reads as empty. Raises LauncherError with the file's path and
// the parser's error when the file is missing, unreadable or not well-formed.
StoredCredentials LoadStoredCredentials(const std::string& appDir);

// The file as loaded by one login attempt, kept open until its optional rewrite.
//
// Bytes: texts in memory are GBK. The file is parsed as bytes without conversion, so every
// part the launcher does not touch is written back as it was read, except that tags come back
// in pugixml's spelling (single blanks, attributes in double quotes). Only the texts of dbuser
// and dbpass are decoded (references, line ends) and encoded: as they stand when the
// declaration names GB2312, GBK, GB18030 or CP936, through UTF-8 when it names UTF-8 or
// there is none; any other declared encoding is refused as unreadable.
class TCredentialFile {
 public:
  // Loads and parses the file; raises LauncherError as LoadStoredCredentials does.
  explicit TCredentialFile(const std::string& appDir);
  ~TCredentialFile();
  TCredentialFile(TCredentialFile&&) noexcept;
  TCredentialFile& operator=(TCredentialFile&&) noexcept;
  TCredentialFile(const TCredentialFile&) = delete;
  TCredentialFile& operator=(const TCredentialFile&) = delete;

  // The login attempt's read: the element texts as they stand, the password deciphered
  // (empty when deciphering fails). A missing dbuser or dbpass is added, empty, as the last
  // child of the document element of this loaded document; the file itself is not written.
  StoredCredentials Read();

  // The rewrite after an administrator login: dbuser becomes user (already lower-cased),
  // dbpass EncryptText(password, kCredentialKey), and the whole document is saved to the same
  // path, mode 0600, through a temporary file in the same folder renamed over the old one.
  // Raises LauncherError when the text cannot be encoded or the file cannot be written; the
  // old file then stays as it was.
  void Rewrite(const std::string& user, const std::string& password);

  const std::string& path() const;

 private:
  // Trims the texts before deciphering, which Read() must not.
  friend StoredCredentials LoadStoredCredentials(const std::string& appDir);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace launcher
