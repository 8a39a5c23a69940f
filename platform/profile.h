// INI profile files with the semantics of Windows GetPrivateProfileString and
// WritePrivateProfileString; texts are GBK bytes. A file saved as UTF-8 (a byte-order mark,
// or non-ASCII text that is all valid UTF-8) is read as its GBK text and written in UTF-8.
// Each call reads the file afresh and nothing is cached; writes replace the file
// atomically. Safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The value of `key` in the first section named `section` (both matched ignoring case,
// multi-byte aware), blanks around it and one pair of enclosing quotes removed.
// A missing file, section or key gives `defaultValue`; a present empty value gives "".
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

// Sets `key=value` in the first section named `section`: replaces the key's line, or adds
// the line after the section's last key, or appends the section at the end of the file
// (creating the file, never its folder). All other bytes stay as they were. Returns false
// when the file cannot be read or written; the old file is then untouched.
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Removes the whole line of `key` in the first section named `section`. Returns true also
// when there was nothing to remove; false when the file cannot be read or written.
bool deleteProfileKey(const std::string& path, std::string_view section, std::string_view key);

}  // namespace platform
