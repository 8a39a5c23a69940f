// Top-level windows by title through Xlib, or processes by name from /proc
// when there is no display. Xlib's error handler is process-wide, so the X
// search is serialized and puts the previous handler back.
#include "platform/desktop_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "platform/gbk.h"
#include "platform/gbk_text.h"

namespace platform {
namespace {

// UTF-8 titles: only A-Z fold; every byte of a multi-byte character is 0x80 or above.
bool equalsFoldingAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// A window may vanish between listing and reading it; that is no error here.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

class TitleMatcher {
 public:
  TitleMatcher(Display* display, std::string_view title)
      : display_(display),
        gbk_(title),
        utf8_(gbkToUtf8(title).value_or(std::string(title))),
        netWmName_(XInternAtom(display, "_NET_WM_NAME", False)),
        utf8String_(XInternAtom(display, "UTF8_STRING", False)) {}

  bool matches(Window window) const {
    if (std::optional<std::string> name = netWmName(window)) {
      return equalsFoldingAscii(*name, utf8_);
    }
    char* name = nullptr;
    if (XFetchName(display_, window, &name) == 0 || name == nullptr) return false;
    // WM_NAME is the program's own 8-bit text; compare it byte for byte as GBK.
    const bool equal = equalsIgnoreCase(name, gbk_);
    XFree(name);
    return equal;
  }

 private:
  std::optional<std::string> netWmName(Window window) const {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, netWmName_, 0, 1024, False, utf8String_, &type,
                           &format, &count, &after, &data) != Success ||
        data == nullptr) {
      return std::nullopt;
    }
    std::optional<std::string> name;
    if (type == utf8String_ && format == 8) name.emplace(reinterpret_cast<char*>(data), count);
    XFree(data);
    return name;
  }

  Display* display_;
  std::string gbk_;
  std::string utf8_;
  Atom netWmName_;
  Atom utf8String_;
};

// Calls `visit` for each child of `parent` until it returns true.
template <class Visit>
bool anyChild(Display* display, Window parent, Visit visit) {
  Window root = 0, parentOut = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, parent, &root, &parentOut, &children, &count) == 0) return false;
  bool found = false;
  for (unsigned int i = 0; i < count && !found; ++i) found = visit(children[i]);
  if (children != nullptr) XFree(children);
  return found;
}

bool classMatches(Display* display, Window window, std::string_view className) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return false;
  const bool equal = (hint.res_name != nullptr && equalsIgnoreCase(hint.res_name, className)) ||
                     (hint.res_class != nullptr && equalsIgnoreCase(hint.res_class, className));
  if (hint.res_name != nullptr) XFree(hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  return equal;
}

// The first window among the root's children and their children that the
// test made by `makeTest(display)` accepts; nullopt when no display opens.
template <class MakeTest>
std::optional<Window> searchDisplay(MakeTest makeTest) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return std::nullopt;
  static std::mutex xlib;
  std::lock_guard lock(xlib);
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return std::nullopt;
  const XErrorHandler previous = XSetErrorHandler(ignoreXErrors);
  Window found = 0;
  const auto matches = makeTest(display);
  const auto take = [&](Window window) {
    if (!matches(window)) return false;
    found = window;
    return true;
  };
  anyChild(display, DefaultRootWindow(display),
           [&](Window top) { return take(top) || anyChild(display, top, take); });
  XSync(display, False);  // errors of this search reach our handler, not the previous one
  XSetErrorHandler(previous);
  XCloseDisplay(display);
  return found;
}

bool processRuns(std::string_view name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm;
    std::getline(std::ifstream(entry.path() / "comm"), comm);
    if (!equalsIgnoreCase(comm, name)) continue;
    // A child that has ended but was not yet reaped keeps its name; it runs no more.
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    const std::size_t close = stat.rfind(')');
    const char state =
        close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
    if (state != 'Z' && state != 'X') return true;
  }
  return false;
}

}  // namespace

bool topLevelWindowExists(std::string_view title) {
  const std::optional<Window> found = searchDisplay([title](Display* display) {
    return
        [matcher = TitleMatcher(display, title)](Window window) { return matcher.matches(window); };
  });
  return found ? *found != 0 : processRuns(title);
}

unsigned long findTopLevelWindow(std::optional<std::string_view> className,
                                 std::optional<std::string_view> title) {
  const std::optional<Window> found = searchDisplay([className, title](Display* display) {
    return [display, className, title,
            matcher = TitleMatcher(display, title.value_or(""))](Window window) {
      return (!className || classMatches(display, window, *className)) &&
             (!title || matcher.matches(window));
    };
  });
  return found.value_or(0);
}

}  // namespace platform
