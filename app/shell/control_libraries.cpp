// The control libraries the program brings along: registered on first start, and their
// message boxes shown through the program's message service.
#include "app/shell/control_libraries.h"

#include <filesystem>
#include <system_error>

#include "platform/com/com_library.h"
#include "platform/com/guid.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell_backend.h"

namespace quenda {
namespace {

// True when the registry names libraryPath itself (the same file, however spelt) as the
// library of class clsid.
bool RegisteredLibraryIs(REFCLSID clsid, const std::string& libraryPath) {
    std::string registered;
    if (Registry().QueryString(RegRoot::kClassesRoot,
                               "CLSID\\" + GuidToString(clsid) + "\\InprocServer32", "",
                               &registered) != RegStatus::kOk) {
        return false;
    }
    std::error_code ec;
    return std::filesystem::equivalent(registered, libraryPath, ec) && !ec;
}

}  // namespace

HRESULT RegisterBundledLibrary(LPCOLESTR progId, const std::string& libraryPath) {
    // A registration left by a moved build tree or an older install names another library, or
    // one that is gone: the program registers its own again, so it always uses its own.
    CLSID clsid{};
    if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)) && RegisteredLibraryIs(clsid, libraryPath)) {
        return S_OK;
    }
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
