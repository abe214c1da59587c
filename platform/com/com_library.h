// Creating objects by class: ProgID and CLSID lookup in the registry, loading the library that
// serves a class, and letting unused libraries go.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace quenda {

inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 1;

class IClassFactory : public IUnknown {
public:
    // A new object of the class, queried for iid. CLASS_E_NOAGGREGATION when outer is given.
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    // A non-zero lock keeps the library loaded; zero gives one lock back.
    virtual HRESULT LockServer(int32_t lock) = 0;

protected:
    ~IClassFactory() = default;
};

// The entry points every component library exports, by these names.
extern "C" {
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();
}

// The class of a ProgID: HKCR\<progId>\CLSID, or through HKCR\<progId>\CurVer when the
// ProgID has no CLSID of its own. CO_E_CLASSSTRING when the ProgID is not registered or
// its CLSID is not a GUID; REGDB_E_READREGDB (with error info) when the registry cannot be
// read.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

// A "{...}" GUID text, or else a ProgID as above.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);

// HKCR\CLSID\{clsid}\ProgID as a new BSTR the caller frees. REGDB_E_CLASSNOTREG when absent.
HRESULT ProgIDFromCLSID(REFCLSID clsid, BSTR* progId);

// The class object of clsid: reads HKCR\CLSID\{clsid}\InprocServer32, loads that library
// once per process and asks its DllGetClassObject. REGDB_E_CLASSNOTREG when the class has
// no library registered, CO_E_DLLNOTFOUND when the library does not load, CO_E_ERRORINDLL
// when it lacks the entry point; each failure leaves error info saying why.
HRESULT CoGetClassObject(REFCLSID clsid, uint32_t context, void* reserved, REFIID iid, void** object);

// CoGetClassObject, then IClassFactory::CreateInstance. *object is nullptr on failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t context, REFIID iid, void** object);

// Loads the component library at path and calls its DllRegisterServer (registering non-zero)
// or DllUnregisterServer, then lets the library go again. CO_E_DLLNOTFOUND when the file
// does not load, CO_E_ERRORINDLL when it lacks the entry point (both with error info), else
// the entry point's own result.
HRESULT CoRegisterServerLibrary(const char* path, int32_t registering);

// Unloads every library loaded by CoGetClassObject whose DllCanUnloadNow says S_OK.
void CoFreeUnusedLibraries();

// How many component libraries are loaded right now.
int CoLoadedLibraryCount();

}  // namespace quenda
