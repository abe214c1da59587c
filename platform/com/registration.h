// Self-registration services for component libraries: registry scripts and type libraries.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/type_info.h"

namespace quenda {

// Runs a registration script (grammar of platform/registry/registry_script.h) against the
// process registry in one locked update, "%MODULE%" standing for modulePath. registering:
// non-zero registers, zero unregisters. Results: S_OK; E_INVALIDARG for a script that does not
// parse (nothing changes); REGDB_E_WRITEREGDB when the registry is damaged or cannot be
// written (nothing changes). Failures leave error info with the reason.
HRESULT RunRegistrationScript(LPCOLESTR script, LPCOLESTR modulePath, int32_t registering);

// Registers the type library of a component under HKCR\TypeLib\{libid}\<major.minor> (name,
// "0\linux" = modulePath, FLAGS, HELPDIR) and each of its interfaces under HKCR\Interface.
// Results as RunRegistrationScript.
HRESULT RegisterTypeLib(const TypeLibInfo* library, LPCOLESTR modulePath);

// Removes what RegisterTypeLib wrote; interface keys that another library has taken over
// are left alone. S_OK also when nothing was registered.
HRESULT UnRegisterTypeLib(const TypeLibInfo* library);

// "HKCR\TypeLib\{libid}\<version>\0\linux" as registered, for hosts that look a library up.
HRESULT QueryTypeLibPath(REFGUID libid, uint16_t major, uint16_t minor, BSTR* path);

}  // namespace quenda
