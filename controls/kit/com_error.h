// Turns the result codes of control operations into HRESULTs and published error info.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/hresult.h"

namespace quenda {

// Codes a control operation returns besides Winsock codes.
inline constexpr int kCodeOutOfMemory = 200;
inline constexpr int kCodeInterrupted = 301;

// Who reports: the ProgID named as the error's source and the help file of the contexts.
struct ErrorSource {
    const char16_t* progId;
    const char16_t* helpFile;
};

// 0 -> S_OK; 200 -> 0x800A0007; codes up to 10000 -> 0x800A0000 | (code + 20001); larger
// codes -> 0x800A0000 | (code + 15001). The sum is kept to its low 16 bits, so no code can
// reach into the facility or severity bits.
HRESULT HresultFromComponentCode(int code);

// The text for a code: 301 "Interrupted.", 200 "Out of memory.", a Winsock code of the
// error table "[code] text", any other "[code] (no description available)".
std::string ComponentCodeText(int code);

// The result of an operation that returned code. For any code but 0 publishes error info
// (GUID_NULL, source's ProgID, description, help file and helpContext): the description is
// message when the operation set one (non-null), else the code's text; code 200 is always
// "Out of memory." without help context. helpContext 0 means none.
HRESULT ReportComponentCode(int code, const char* message, const ErrorSource& source,
                            uint32_t helpContext);

enum class PropertyGuard {
    kRuntimeOnly,  // read while the host is in design mode
    kReadOnly,     // a read-only property set
    kWriteOnly,    // a write-only property read
    kByteArray,    // a binary property given anything but a one-dimensional byte/variant array
};

// The guard's HRESULT (0x800A018A, 0x800A017F, 0x800A018A, 0x800A017C) with its fixed text
// published as error info.
HRESULT ReportPropertyGuard(PropertyGuard guard, const ErrorSource& source, uint32_t helpContext);

}  // namespace quenda
