// The stream layout of persisted control properties: a format version, then each value as a
// 2-byte variant type and its bytes, little-endian.
#include "controls/kit/property_stream.h"

#include <cstring>
#include <vector>

namespace quenda {
namespace {

int FixedSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_BOOL:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_R4:
        case VT_ERROR:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        default:
            return 0;
    }
}

// The value bytes of a fixed-size type, little-endian.
void FixedBytes(const VARIANT& v, int size, unsigned char* out) {
    switch (size) {
        case 1:
            out[0] = v.bVal;
            break;
        case 2: {
            uint16_t x = v.uiVal;
            for (int i = 0; i < 2; ++i) out[i] = static_cast<unsigned char>(x >> (8 * i));
            break;
        }
        case 4: {
            uint32_t x = 0;
            std::memcpy(&x, &v.ulVal, 4);
            for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(x >> (8 * i));
            break;
        }
        case 8: {
            uint64_t x = 0;
            std::memcpy(&x, &v.dblVal, 8);
            for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(x >> (8 * i));
            break;
        }
    }
}

}  // namespace

HRESULT WritePersistedValue(IStream* stream, const VARIANT& input) {
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = VariantCopyInd(&value, &input);
    if (FAILED(hr)) return hr;
    if (FixedSize(value.vt) == 0 && value.vt != VT_BSTR) {
        hr = VariantChangeType(&value, &value, 0, VT_BSTR);
        if (FAILED(hr)) {
            VariantClear(&value);
            return hr;
        }
    }
    hr = WriteU16(stream, value.vt);
    int size = FixedSize(value.vt);
    if (SUCCEEDED(hr) && size > 0) {
        unsigned char bytes[8];
        FixedBytes(value, size, bytes);
        hr = WriteExact(stream, bytes, static_cast<ULONG>(size));
    } else if (SUCCEEDED(hr)) {
        uint32_t length = SysStringLen(value.bstrVal);
        uint32_t byteCount = value.bstrVal == nullptr ? 0 : length * 2 + 2;
        hr = WriteU32(stream, byteCount);
        std::vector<unsigned char> bytes(byteCount);
        for (uint32_t i = 0; i < length; ++i) {
            bytes[2 * i] = static_cast<unsigned char>(value.bstrVal[i]);
            bytes[2 * i + 1] = static_cast<unsigned char>(value.bstrVal[i] >> 8);
        }
        if (SUCCEEDED(hr) && byteCount > 0) hr = WriteExact(stream, bytes.data(), byteCount);
    }
    VariantClear(&value);
    return hr;
}

HRESULT ReadPersistedValue(IStream* stream, VARIANT* value) {
    if (stream == nullptr || value == nullptr) return E_POINTER;
    VariantInit(value);
    uint16_t vt = 0;
    if (FAILED(ReadU16(stream, &vt))) return E_FAIL;
    int size = FixedSize(vt);
    if (size > 0) {
        unsigned char bytes[8];
        if (FAILED(ReadExact(stream, bytes, static_cast<ULONG>(size)))) return E_FAIL;
        uint64_t x = 0;
        for (int i = size - 1; i >= 0; --i) x = (x << 8) | bytes[i];
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        switch (size) {
            case 1:
                v.bVal = static_cast<uint8_t>(x);
                break;
            case 2:
                v.uiVal = static_cast<uint16_t>(x);
                break;
            case 4:
                v.ulVal = static_cast<uint32_t>(x);
                break;
            case 8:
                std::memcpy(&v.dblVal, &x, 8);
                break;
        }
        *value = v;
        return S_OK;
    }
    if (vt != VT_BSTR) return E_FAIL;
    uint32_t byteCount = 0;
    if (FAILED(ReadU32(stream, &byteCount))) return E_FAIL;
    if (byteCount == 0) {
        *value = MakeVariantBstr(nullptr);
        return S_OK;
    }
    if (byteCount % 2 != 0 || byteCount > kMaxPersistedTextBytes) return E_FAIL;
    // Check what the stream really holds before trusting the count with an allocation.
    uint64_t size64 = 0, position = 0;
    if (SUCCEEDED(stream->GetSize(&size64)) &&
        SUCCEEDED(stream->Seek(0, STREAM_SEEK_CUR, &position)) &&
        (position > size64 || size64 - position < byteCount)) {
        return E_FAIL;
    }
    std::vector<unsigned char> bytes(byteCount);
    if (FAILED(ReadExact(stream, bytes.data(), byteCount))) return E_FAIL;
    uint32_t length = byteCount / 2 - 1;
    if (bytes[byteCount - 2] != 0 || bytes[byteCount - 1] != 0) return E_FAIL;
    BSTR text = SysAllocStringLen(nullptr, length);
    if (text == nullptr) return E_OUTOFMEMORY;
    for (uint32_t i = 0; i < length; ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    *value = MakeVariantBstr(text);
    return S_OK;
}

}  // namespace quenda
