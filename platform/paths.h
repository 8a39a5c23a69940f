// Paths of the system: its Windows spellings mapped to this machine's folders.
// Drive d: is the data root ($NORVEX_DATA_ROOT, default /srv/), drive c: the system root
// ($NORVEX_SYSTEM_ROOT, default /opt/). Folders returned always end with '/'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::string dataRoot();
std::string systemRoot();

// "d:\norvex\" -> "<data root>norvex/", "c:\backup\" -> "<system root>backup/",
// ".\dbconfig.ini" -> "./dbconfig.ini"; every other drive letter maps like d:, and a
// drive without separator ("d:x") is taken as its root ("d:\x").
std::string fromWindowsPath(std::string_view text);

// folder + relative name in Windows spelling ("config\config.ini"), with exactly one '/'
// between them; an empty folder gives the converted relative name alone.
std::string joinPath(std::string_view folder, std::string_view relative);

// Position of the last '\' or '/' character, npos when there is none. The second
// byte of a double-byte character (it may be 0x5C) is not a separator.
std::size_t lastPathSeparator(std::string_view text);

// Folder of the running executable, from /proc/self/exe; empty if it cannot be read.
std::string executableDir();

}  // namespace platform
