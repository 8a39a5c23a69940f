// Owner-less message boxes of the extension: shown through the host's hook,
// or written as one line on stderr when the host installed none.
#pragma once

#include <string_view>

#include "pbni/pbni.h"

namespace nx {

void showMessage(IPB_Session* session, std::string_view caption, std::string_view text,
                 PBMessageIcon icon);

}  // namespace nx
