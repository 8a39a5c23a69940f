// Replacing a file's whole content so that a reader or a crash sees the old
// content or the new one, never a part: a temporary file in the same folder
// is written, synced and renamed over the target.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Empty on success; otherwise the failing step and its reason, with the old
// file left as it was. `mode` sets the new file's permission bits from the
// first byte on; without it a new file gets 0666 less the umask.
std::string replaceFileAtomically(const std::string& path, std::string_view bytes,
                                  std::optional<mode_t> mode = std::nullopt);

}  // namespace platform
