// Turns the result codes of control operations into HRESULTs and published error info.
#include "controls/kit/com_error.h"

#include <cstdio>

#include "controls/kit/error_table.h"
#include "platform/com/bstr.h"
#include "platform/com/error_info.h"

namespace quenda {
namespace {

constexpr uint32_t kControlFacility = 0x800A0000;

HRESULT Publish(HRESULT hr, std::string_view description, const ErrorSource& source,
                uint32_t helpContext) {
    std::u16string text(description.size(), u'\0');
    for (size_t i = 0; i < description.size(); ++i)
        text[i] = static_cast<unsigned char>(description[i]);
    PublishErrorInfo(GUID_NULL, source.progId, text.c_str(),
                     helpContext ? source.helpFile : nullptr, helpContext);
    return hr;
}

}  // namespace

HRESULT HresultFromComponentCode(int code) {
    if (code == 0) return S_OK;
    if (code == kCodeOutOfMemory) return MakeHresult(0x800A0007);
    int64_t number = static_cast<int64_t>(code) + (code <= 10000 ? 20001 : 15001);
    return MakeHresult(kControlFacility | (static_cast<uint32_t>(number) & 0xFFFF));
}

std::string ComponentCodeText(int code) {
    if (code == kCodeInterrupted) return "Interrupted.";
    if (code == kCodeOutOfMemory) return "Out of memory.";
    std::string_view text = ErrorTableText(code);
    char buffer[160];
    if (!text.empty()) {
        std::snprintf(buffer, sizeof buffer, "[%d] %.*s", code, static_cast<int>(text.size()),
                      text.data());
    } else {
        std::snprintf(buffer, sizeof buffer, "[%d] (no description available)", code);
    }
    return buffer;
}

HRESULT ReportComponentCode(int code, const char* message, const ErrorSource& source,
                            uint32_t helpContext) {
    HRESULT hr = HresultFromComponentCode(code);
    if (code == 0) return hr;
    if (code == kCodeOutOfMemory) return Publish(hr, "Out of memory.", source, 0);
    std::string text = message != nullptr ? std::string(message) : ComponentCodeText(code);
    return Publish(hr, text, source, helpContext);
}

HRESULT ReportPropertyGuard(PropertyGuard guard, const ErrorSource& source, uint32_t helpContext) {
    switch (guard) {
        case PropertyGuard::kRuntimeOnly:
            return Publish(MakeHresult(0x800A018A),
                           "Property is runtime only (no supported in design time).", source,
                           helpContext);
        case PropertyGuard::kReadOnly:
            return Publish(MakeHresult(0x800A017F), "Property is read-only.", source, helpContext);
        case PropertyGuard::kWriteOnly:
            return Publish(MakeHresult(0x800A018A), "Property is write-only.", source, helpContext);
        case PropertyGuard::kByteArray:
            return Publish(MakeHresult(0x800A017C),
                           "Property accepts only one-dimensional byte arrays.", source,
                           helpContext);
    }
    return E_UNEXPECTED;
}

}  // namespace quenda
