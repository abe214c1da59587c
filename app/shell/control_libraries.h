// The control libraries the program brings along: registered on first start, and their
// message boxes shown through the program's message service.
#pragma once

#include <string>

#include "platform/com/dispatch.h"
#include "platform/ui/message_service.h"

namespace quenda {

// Registers the library at libraryPath unless progId is registered with that very file
// already (first start of a fresh install, a moved build tree, an older install). Returns
// S_OK, or the failure of the registration.
HRESULT RegisterBundledLibrary(LPCOLESTR progId, const std::string& libraryPath);

// While it lives, the message boxes of controls (error messages, About) go to messages, which
// shows them with windows and logs them headless.
class ControlMessages {
  public:
    explicit ControlMessages(MessageService& messages);
    ~ControlMessages();
    ControlMessages(const ControlMessages&) = delete;
    ControlMessages& operator=(const ControlMessages&) = delete;
};

}  // namespace quenda
