// regsvr: registers (or with -u unregisters) a component library by calling its entry point.
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com/com_library.h"
#include "platform/com/error_info.h"
#include "platform/registry/registry.h"

namespace {

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoFile = 2,
    kExitNotLoaded = 3,
    kExitNoEntryPoint = 4,
    kExitFailed = 5,
};

int Usage() {
    std::fprintf(stderr,
                 "usage: regsvr [-u] [--registry FILE] LIBRARY\n"
                 "  registers the component library LIBRARY; -u unregisters it.\n"
                 "  The registry file is FILE, else $%s, else $XDG_CONFIG_HOME/quenda/registry.\n",
                 quenda::kRegistryPathVariable);
    return kExitUsage;
}

std::string ErrorInfoText() {
    quenda::ComPtr<quenda::IErrorInfo> error;
    if (quenda::GetErrorInfo(0, error.Out()) != quenda::S_OK || !error) return {};
    quenda::Bstr text;
    error->GetDescription(text.Out());
    return text.Utf8();
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-u" || arg == "/u") {
            unregister = true;
        } else if (arg == "--registry" && i + 1 < argc) {
            quenda::Registry::SetProcessPath(argv[++i]);
        } else if (arg.empty() || arg[0] == '-' || library != nullptr) {
            return Usage();
        } else {
            library = argv[i];
        }
    }
    if (library == nullptr) return Usage();

    // An absolute path, so the loader takes this file and does not search for the name.
    char resolved[PATH_MAX];
    if (::realpath(library, resolved) == nullptr) {
        std::fprintf(stderr, "regsvr: cannot find %s: %s\n", library, std::strerror(errno));
        return kExitNoFile;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    quenda::HRESULT hr = quenda::CoRegisterServerLibrary(resolved, unregister ? 0 : 1);
    if (quenda::FAILED(hr)) {
        std::string why = ErrorInfoText();
        std::fprintf(stderr, "regsvr: %s in %s failed with 0x%08X%s%s\n", entry, resolved, static_cast<unsigned>(hr),
                     why.empty() ? "" : ": ", why.c_str());
        if (hr == quenda::CO_E_DLLNOTFOUND) return kExitNotLoaded;
        if (hr == quenda::CO_E_ERRORINDLL) return kExitNoEntryPoint;
        return kExitFailed;
    }
    std::printf("regsvr: %s in %s succeeded.\n", entry, resolved);
    return kExitOk;
}
