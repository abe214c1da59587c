// SAFEARRAY: arrays of automation values with bounds, as byte arrays and variant arrays travel.
#include "platform/com/safe_array.h"

#include <cstdlib>
#include <cstring>

#include "platform/com/dispatch.h"

namespace quenda {
namespace {

// The element type sits in the 16 bytes before the header, as the platform keeps it.
constexpr size_t kTypePrefix = 16;

uint32_t ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_R8: case VT_CY: case VT_DATE: return 8;
        case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

uint16_t FeaturesFor(VARTYPE vt) {
    uint16_t f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) f |= FADF_BSTR;
    if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
    if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
    if (vt == VT_VARIANT) f |= FADF_VARIANT;
    return f;
}

uint64_t ElementCount(const SAFEARRAY* a) {
    uint64_t count = 1;
    for (uint32_t i = 0; i < a->cDims; ++i) count *= a->rgsabound[i].cElements;
    return count;
}

VARTYPE TypeOf(const SAFEARRAY* a) {
    uint32_t vt = 0;
    std::memcpy(&vt, reinterpret_cast<const unsigned char*>(a) - sizeof vt, sizeof vt);
    return static_cast<VARTYPE>(vt);
}

// Frees what element i owns and zeroes it.
void ClearElement(SAFEARRAY* a, uint64_t i) {
    unsigned char* p = static_cast<unsigned char*>(a->pvData) + i * a->cbElements;
    if (a->fFeatures & FADF_BSTR) {
        BSTR b;
        std::memcpy(&b, p, sizeof b);
        SysFreeString(b);
    } else if (a->fFeatures & FADF_VARIANT) {
        VariantClear(reinterpret_cast<VARIANT*>(p));
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* u;
        std::memcpy(&u, p, sizeof u);
        if (u) u->Release();
    }
    std::memset(p, 0, a->cbElements);
    if (a->fFeatures & FADF_VARIANT) VariantInit(reinterpret_cast<VARIANT*>(p));
}

// Copies *from into element slot to (deep), not freeing what `to` held.
HRESULT CopyElementInto(const SAFEARRAY* a, const void* from, void* to) {
    if (a->fFeatures & FADF_BSTR) {
        BSTR src;
        std::memcpy(&src, from, sizeof src);
        BSTR copy = nullptr;
        if (src != nullptr) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(src), SysStringByteLen(src));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        std::memcpy(to, &copy, sizeof copy);
    } else if (a->fFeatures & FADF_VARIANT) {
        VARIANT* dest = static_cast<VARIANT*>(to);
        VariantInit(dest);
        return VariantCopy(dest, static_cast<const VARIANT*>(from));
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* u;
        std::memcpy(&u, from, sizeof u);
        if (u) u->AddRef();
        std::memcpy(to, &u, sizeof u);
    } else {
        std::memcpy(to, from, a->cbElements);
    }
    return S_OK;
}

HRESULT ElementOffset(const SAFEARRAY* a, const int32_t* indices, uint64_t* offset) {
    if (a == nullptr || indices == nullptr) return E_INVALIDARG;
    uint64_t index = 0;
    uint64_t stride = 1;
    for (uint32_t d = 0; d < a->cDims; ++d) {
        const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - 1 - d];
        int64_t rel = static_cast<int64_t>(indices[d]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<int64_t>(b.cElements)) return DISP_E_BADINDEX;
        index += static_cast<uint64_t>(rel) * stride;
        stride *= b.cElements;
    }
    *offset = index;
    return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t cDims, const SAFEARRAYBOUND* bounds) {
    uint32_t size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 64 || bounds == nullptr) return nullptr;
    uint64_t count = 1;
    for (uint32_t i = 0; i < cDims; ++i) {
        count *= bounds[i].cElements;
        if (count * size > kMaxSafeArrayBytes) return nullptr;
    }
    size_t header = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<unsigned char*>(std::calloc(1, kTypePrefix + header));
    if (block == nullptr) return nullptr;
    auto* a = reinterpret_cast<SAFEARRAY*>(block + kTypePrefix);
    uint32_t storedVt = vt;
    std::memcpy(block + kTypePrefix - sizeof storedVt, &storedVt, sizeof storedVt);
    a->cDims = static_cast<uint16_t>(cDims);
    a->fFeatures = FeaturesFor(vt);
    a->cbElements = size;
    for (uint32_t i = 0; i < cDims; ++i) a->rgsabound[cDims - 1 - i] = bounds[i];
    a->pvData = std::calloc(count == 0 ? 1 : count, size);
    if (a->pvData == nullptr) {
        std::free(block);
        return nullptr;
    }
    if (vt == VT_VARIANT) {
        for (uint64_t i = 0; i < count; ++i) VariantInit(static_cast<VARIANT*>(a->pvData) + i);
    }
    return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t count) {
    SAFEARRAYBOUND bound{count, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
    if (a == nullptr) return S_OK;
    if (a->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    uint64_t count = ElementCount(a);
    if (a->fFeatures & (FADF_BSTR | FADF_VARIANT | FADF_UNKNOWN | FADF_DISPATCH)) {
        for (uint64_t i = 0; i < count; ++i) ClearElement(a, i);
    }
    std::free(a->pvData);
    std::free(reinterpret_cast<unsigned char*>(a) - kTypePrefix);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* a, SAFEARRAY** copy) {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (a == nullptr) return E_INVALIDARG;
    SAFEARRAYBOUND bounds[64];
    for (uint32_t i = 0; i < a->cDims; ++i) bounds[i] = a->rgsabound[a->cDims - 1 - i];
    SAFEARRAY* c = SafeArrayCreate(TypeOf(a), a->cDims, bounds);
    if (c == nullptr) return E_OUTOFMEMORY;
    uint64_t count = ElementCount(a);
    for (uint64_t i = 0; i < count; ++i) {
        HRESULT hr = CopyElementInto(a, static_cast<unsigned char*>(a->pvData) + i * a->cbElements,
                                     static_cast<unsigned char*>(c->pvData) + i * c->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(c);
            return hr;
        }
    }
    *copy = c;
    return S_OK;
}

uint32_t SafeArrayGetDim(SAFEARRAY* a) { return a ? a->cDims : 0; }

uint32_t SafeArrayGetElemsize(SAFEARRAY* a) { return a ? a->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
    if (a == nullptr || vt == nullptr || !(a->fFeatures & FADF_HAVEVARTYPE)) return E_INVALIDARG;
    *vt = TypeOf(a);
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, uint32_t dim, int32_t* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
    *bound = a->rgsabound[a->cDims - dim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, uint32_t dim, int32_t* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - dim];
    *bound = static_cast<int32_t>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* a) {
    if (a == nullptr) return E_INVALIDARG;
    ++a->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a) {
    if (a == nullptr) return E_INVALIDARG;
    if (a->cLocks == 0) return E_UNEXPECTED;
    --a->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
    if (a == nullptr || data == nullptr) return E_INVALIDARG;
    ++a->cLocks;
    *data = a->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) { return SafeArrayUnlock(a); }

HRESULT SafeArrayGetElement(SAFEARRAY* a, const int32_t* indices, void* out) {
    uint64_t offset = 0;
    HRESULT hr = ElementOffset(a, indices, &offset);
    if (FAILED(hr)) return hr;
    if (out == nullptr) return E_INVALIDARG;
    return CopyElementInto(a, static_cast<unsigned char*>(a->pvData) + offset * a->cbElements, out);
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, const int32_t* indices, const void* value) {
    uint64_t offset = 0;
    HRESULT hr = ElementOffset(a, indices, &offset);
    if (FAILED(hr)) return hr;
    if (value == nullptr) return E_INVALIDARG;
    // Copy first, so a failure leaves the element as it was.
    alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)];
    hr = CopyElementInto(a, value, fresh);
    if (FAILED(hr)) return hr;
    ClearElement(a, offset);
    std::memcpy(static_cast<unsigned char*>(a->pvData) + offset * a->cbElements, fresh, a->cbElements);
    return S_OK;
}

}  // namespace quenda
