// Byte arrays as the socket controls' binary properties take and give them.
#include "controls/socketbase/byte_array.h"

#include <cstdint>
#include <new>

#include "platform/com/safe_array.h"

namespace quenda {

bool BytesOfByteArray(const VARIANT& argument, std::string* bytes) {
    const VARIANT* value = &argument;
    if (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal != nullptr) value = value->pvarVal;
    if ((value->vt & VT_ARRAY) == 0) return false;
    SAFEARRAY* array =
        (value->vt & VT_BYREF) ? (value->pparray ? *value->pparray : nullptr) : value->parray;
    VARTYPE element = value->vt & VT_TYPEMASK;
    if (array == nullptr || SafeArrayGetDim(array) != 1 ||
        (element != VT_UI1 && element != VT_VARIANT))
        return false;
    // The element size must agree with the declared type, or the walk below would overrun.
    if ((element == VT_UI1 && array->cbElements != 1) ||
        (element == VT_VARIANT && array->cbElements != sizeof(VARIANT))) {
        return false;
    }
    uint32_t count = array->rgsabound[0].cElements;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    bool ok = true;
    try {
        if (element == VT_UI1) {
            bytes->assign(static_cast<const char*>(data), count);
        } else {
            bytes->resize(count);
            const auto* items = static_cast<const VARIANT*>(data);
            for (uint32_t i = 0; i < count && ok; ++i) {
                Variant number;
                ok = SUCCEEDED(VariantChangeType(number.Get(), &items[i], 0, VT_I4));
                if (ok) (*bytes)[i] = static_cast<char>(number->lVal & 0xFF);
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    SafeArrayUnaccessData(array);
    return ok;
}

bool ByteVariantArray(std::string_view bytes, VARIANT* out) {
    VariantInit(out);
    if (bytes.size() > UINT32_MAX) return false;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<uint32_t>(bytes.size()));
    if (array == nullptr) return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return false;
    }
    auto* items = static_cast<VARIANT*>(data);
    for (size_t i = 0; i < bytes.size(); ++i) {
        items[i].vt = VT_UI1;
        items[i].bVal = static_cast<uint8_t>(bytes[i]);
    }
    SafeArrayUnaccessData(array);
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return true;
}

}  // namespace quenda
