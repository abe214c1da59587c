// What a control library tells the kit about its one control class, and the library entry
// points built from it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/ole_interfaces.h"
#include "platform/com/type_info.h"

namespace quenda {

// A property saved and loaded with the control, by name (property bag) and in stream order.
struct PersistedProperty {
    const char16_t* name;
    DISPID dispid;
};

struct ControlClassInfo {
    const char16_t* progId;                    // e.g. "UDPPort.UDPPort.1"
    const char16_t* versionIndependentProgId;  // e.g. "UDPPort.UDPPort"; nullptr: none
    const char16_t* displayName;               // default value of the ProgID and CLSID keys
    const TypeLibInfo* typeLib;                // coclass: CLSID, dual and event interfaces
    const PersistedProperty* persisted;        // persisted properties in stream order
    uint32_t persistedCount;
    const char16_t* helpFile;       // named with the help contexts of errors
    uint32_t miscStatus;            // OLEMISC_* bits registered and reported
    const uint32_t* toolboxBitmap;  // 16 x 15 ARGB pixels of the design-time face, or nullptr
    // Builds a new control with its defaults applied and queries it for iid.
    HRESULT (*create)(REFIID iid, void** object);

    const CLSID& Clsid() const { return typeLib->coclass->clsid; }
};

// What a control invisible at run time registers and reports (132497).
inline constexpr uint32_t kInvisibleControlMiscStatus =
    OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_ACTIVATEWHENVISIBLE |
    OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

// The registration script of a control class: ProgID, version-independent ProgID (when the
// class has one) and the
// CLSID key with InprocServer32 = "%MODULE%" (ThreadingModel Apartment), Control,
// Insertable, Programmable, ToolboxBitmap32, MiscStatus, TypeLib, Version, and the safe for
// scripting/initialising categories.
std::u16string BuildRegistryScript(const ControlClassInfo& info);

// The bodies of the four exported library entry points.
// DllGetClassObject: a class factory for the class's CLSID, CLASS_E_CLASSNOTAVAILABLE for
// any other (with *object = nullptr).
HRESULT ShellGetClassObject(const ControlClassInfo& info, REFCLSID clsid, REFIID iid,
                            void** object);
// DllCanUnloadNow: S_OK when no object and no lock of the library is alive.
HRESULT ShellCanUnloadNow();
// DllRegisterServer: runs the registration script with this library's path, then registers
// the type library. The first failure is returned with its error info.
HRESULT ShellRegisterServer(const ControlClassInfo& info);
// DllUnregisterServer: the script in removal mode, then the type library's keys; both are
// attempted, the first failure is returned.
HRESULT ShellUnregisterServer(const ControlClassInfo& info);

}  // namespace quenda

// Marks the four entry points a component library exports by name.
#define QUENDA_LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))

// Defines the four exported entry points of a library serving the one class classInfo (an
// expression naming a ControlClassInfo).
#define QUENDA_CONTROL_LIBRARY_EXPORTS(classInfo)                                                \
    QUENDA_LIBRARY_EXPORT quenda::HRESULT DllGetClassObject(quenda::REFCLSID clsid,              \
                                                            quenda::REFIID iid, void** object) { \
        return quenda::ShellGetClassObject(classInfo, clsid, iid, object);                       \
    }                                                                                            \
    QUENDA_LIBRARY_EXPORT quenda::HRESULT DllCanUnloadNow() {                                    \
        return quenda::ShellCanUnloadNow();                                                      \
    }                                                                                            \
    QUENDA_LIBRARY_EXPORT quenda::HRESULT DllRegisterServer() {                                  \
        return quenda::ShellRegisterServer(classInfo);                                           \
    }                                                                                            \
    QUENDA_LIBRARY_EXPORT quenda::HRESULT DllUnregisterServer() {                                \
        return quenda::ShellUnregisterServer(classInfo);                                         \
    }
