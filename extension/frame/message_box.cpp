#include "extension/frame/message_box.h"

#include <cstdio>
#include <string>

namespace nx {

void showMessage(IPB_Session* session, std::string_view caption, std::string_view text,
                 PBMessageIcon icon) {
  const std::string c(caption), t(text);
  IPB_MessageHook* hook = session != nullptr ? session->GetMessageHook() : nullptr;
  if (hook != nullptr) {
    hook->Show(c.c_str(), t.c_str(), icon);
    return;
  }
  std::fprintf(stderr, "nxclass: [%s] %s\n", c.c_str(), t.c_str());
}

}  // namespace nx
