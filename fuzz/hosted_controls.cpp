// Registers and creates the socket controls for the persistence fuzz targets.
#include "fuzz/hosted_controls.h"

#include <dlfcn.h>

#include <QCoreApplication>

#include "controls/icmpport/icmpport_interface.h"
#include "controls/udpport/udpport_interface.h"
#include "fuzz/fuzz_support.h"
#include "platform/com/com_library.h"
#include "platform/registry/registry.h"

namespace quenda::fuzz {

void HostControls() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    // Held for the whole run: libFuzzer keeps pointers into every instrumented library it saw,
    // so none may be unloaded when the last control goes.
    for (const char* library :
         {QUENDA_TARNEL_LIBRARY, QUENDA_PELLIN_LIBRARY, QUENDA_WINSOCK_LIBRARY}) {
        FUZZ_CHECK(dlopen(library, RTLD_NOW) != nullptr);
    }
    Registry::SetProcessPath(ScratchDirectory() + "registry");
    FUZZ_CHECK(CoRegisterServerLibrary(QUENDA_TARNEL_LIBRARY, 1) == S_OK);
    FUZZ_CHECK(CoRegisterServerLibrary(QUENDA_PELLIN_LIBRARY, 1) == S_OK);
}

ComPtr<IUnknown> CreateControl(int index) {
    ComPtr<IUnknown> control;
    const CLSID& clsid = index == 0 ? CLSID_UDPPort : CLSID_ICMPPort;
    FUZZ_CHECK(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                control.OutVoid()) == S_OK);
    return control;
}

}  // namespace quenda::fuzz
