// The desktop's top-level windows, found by title: the X11 windows of the
// display in $DISPLAY when one opens; without a display, a running process of
// that name stands for its window. Safe from any thread.
#pragma once

#include <optional>
#include <string_view>

namespace platform {

// Whether a top-level window titled `title` (GBK text; letter case ignored)
// exists. With a display: the root window's children and their children (a
// window manager's frames hold the programs' windows), by _NET_WM_NAME or
// else WM_NAME. Without one: a live process whose name (/proc/PID/comm)
// equals the title.
bool topLevelWindowExists(std::string_view title);

// The X11 id of the first top-level window (searched as above) whose class
// (WM_CLASS, its instance or its class part) is `className` and whose title
// is `title`, letter case ignored; nullopt matches any. 0 when none is found
// or no display opens.
unsigned long findTopLevelWindow(std::optional<std::string_view> className,
                                 std::optional<std::string_view> title);

}  // namespace platform
