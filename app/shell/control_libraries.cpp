// The control libraries the program brings along: registered on first start, and their
// message boxes shown through the program's message service.
#include "app/shell/control_libraries.h"

#include "platform/com/com_library.h"
#include "platform/shell/shell_backend.h"

namespace quenda {

HRESULT RegisterBundledLibrary(LPCOLESTR progId, const std::string& libraryPath) {
    CLSID clsid{};
    if (SUCCEEDED(CLSIDFromProgID(progId, &clsid))) return S_OK;
    return CoRegisterServerLibrary(libraryPath.c_str(), 1);
}

ControlMessages::ControlMessages(MessageService& messages) {
    SetMessageBoxHandler(
        [&messages](UINT type, const std::string& caption, const std::string& text) {
            MessageIcon icon = MessageIcon::Information;
            if ((type & 0xF0) == MB_ICONERROR) icon = MessageIcon::Critical;
            if ((type & 0xF0) == MB_ICONEXCLAMATION) icon = MessageIcon::Exclamation;
            messages.Inform(icon, caption, text);
        });
}

ControlMessages::~ControlMessages() {
    SetMessageBoxHandler({});
}

}  // namespace quenda
