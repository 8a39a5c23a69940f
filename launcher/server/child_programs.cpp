#include "launcher/server/child_programs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace launcher {
namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string realFolder(const std::string& folder) {
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return folder;
  std::string path(resolved);
  std::free(resolved);
  return path.ends_with('/') ? path : path + "/";
}

long long fileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

std::string readFrom(const std::string& path, long long offset) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string();
  file.seekg(offset);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return text;
}

}  // namespace

std::string MaskPassword(const std::string& commandLine) {
  for (std::size_t at = commandLine.find("-p"); at != std::string::npos;
       at = commandLine.find("-p", at + 1)) {
    // Only an option: "-p" inside a path or a word is left alone.
    if (at > 0 && commandLine[at - 1] != ' ') continue;
    const std::size_t end = commandLine.find(' ', at);
    return commandLine.substr(0, at) + "-p******" +
           (end == std::string::npos ? std::string() : commandLine.substr(end));
  }
  return commandLine;
}

std::string ShownPassword(std::string password) {
  std::replace(password.begin(), password.end(), ' ', '*');
  return password;
}

void TChildConsole::ShowCommand(const std::string& label, const std::string& commandLine) {
  memo_.appendLine(label + "  " + MaskPassword(commandLine));
}

namespace {

// "执行结果:" and the output, one memo line per output line.
void showResult(ui::Control& memo, const std::string& output) {
  std::string first = "执行结果:";
  std::size_t start = 0;
  bool firstLine = true;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    memo.appendLine(firstLine ? first + line : line);
    firstLine = false;
    start = end + 1;
  }
  if (firstLine) memo.appendLine(first);
}

}  // namespace

int TChildConsole::RunCaptured(const std::string& label, const std::string& commandLine,
                               const std::vector<std::string>& argv,
                               const platform::Environment& environment, std::string* output) {
  ShowCommand(label, commandLine);
  output->clear();
  std::string error;
  std::unique_ptr<platform::CapturedChild> child =
      processes_.startCaptured(argv, environment, &error);
  if (!child) {
    showResult(memo_, "");
    return -1;
  }
  // The window keeps painting and serving other threads, while user input
  // waits until the program has ended.
  while (child->read(output, std::chrono::milliseconds(50))) desktop_.processPendingEvents();
  const int code = child->wait();
  showResult(memo_, *output);
  return code;
}

int TChildConsole::RunCapturedNoWait(const std::string& label, const std::string& commandLine,
                                     const std::vector<std::string>& argv,
                                     const std::string& logFile, std::string* output) {
  ShowCommand(label, commandLine);
  const long long before = fileSize(logFile);
  std::string error;
  output->clear();
  if (processes_.startDaemon(argv, {}, logFile, &error) > 0) *output = readFrom(logFile, before);
  showResult(memo_, *output);
  return -1;
}

bool IsProcessRunning(platform::Processes& processes, const std::string& image,
                      const std::string& serverDir) {
  return !ServerProcessIds(processes, image, serverDir).empty();
}

std::vector<int> ServerProcessIds(platform::Processes& processes, const std::string& image,
                                  const std::string& serverDir) {
  std::vector<int> pids;
  const std::string wanted = lowerAscii(image);
  const std::string realDir = realFolder(serverDir);
  const std::string optionFiles[] = {"--defaults-file=" + serverDir + "my.ini",
                                     "--defaults-file=" + realDir + "my.ini"};
  for (const platform::ProcessEntry& process : processes.snapshot()) {
    const std::string program = process.arguments.empty() ? std::string() : process.arguments[0];
    if (lowerAscii(process.name) != wanted && lowerAscii(baseName(process.executable)) != wanted &&
        lowerAscii(baseName(program)) != wanted) {
      continue;
    }
    bool ours = program.starts_with(serverDir) || program.starts_with(realDir) ||
                process.executable.starts_with(realDir);
    for (const std::string& arg : process.arguments)
      ours = ours || arg == optionFiles[0] || arg == optionFiles[1];
    if (ours) pids.push_back(process.pid);
  }
  return pids;
}

}  // namespace launcher
