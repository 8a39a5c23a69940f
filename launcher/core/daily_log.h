// The daily log (one file a day in the Log folder of a folder, lines only
// ever appended) and the plain text-file writer.
#pragma once

#include <string>

namespace launcher {

// The current local time written with a strftime format.
std::string LocalTimeText(const char* format);

// Appends "yyyy-mm-dd hh:nn:ss->" + text + CR LF to folder + "Log/" +
// "yyyy-mm-dd_log.txt". Throws LauncherError when the file cannot be written
// (for example when the Log folder is missing).
void WriteDailyLog(const std::string& folder, const std::string& text);

// Creates the file when missing, then appends (append) or replaces its whole
// content with text + CR LF. Errors are swallowed.
void WriteTextFile(const std::string& file, const std::string& text, bool append);

}  // namespace launcher
