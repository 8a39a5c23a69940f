// Facts about this machine: its name, whether files and folders exist, and
// creating folders.
#pragma once

#include <string>

namespace platform {

// The machine's host name up to the first dot; empty when unknown.
std::string computerName();

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool createFolders(const std::string& path);

}  // namespace platform
