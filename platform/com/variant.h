// VARIANT, the tagged value of late-bound calls and events, with clearing, copying and coercion.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

namespace quenda {

class IUnknown;
class IDispatch;
struct SAFEARRAY;

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;  // days since 1899-12-30, time as the fraction

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a fixed-point number, value times 10000.
struct CY {
    int64_t int64;
};

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// Flags of VariantChangeType.
inline constexpr uint16_t VARIANT_ALPHABOOL = 0x02;  // BOOL -> "True"/"False" instead of "-1"/"0"

struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t uintVal;
        float fltVal;
        double dblVal;
        CY cyVal;
        DATE date;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        int8_t* pcVal;
        uint8_t* pbVal;
        int16_t* piVal;
        uint16_t* puiVal;
        int32_t* plVal;
        uint32_t* pulVal;
        float* pfltVal;
        double* pdblVal;
        CY* pcyVal;
        DATE* pdate;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};

using VARIANTARG = VARIANT;

// Sets vt to VT_EMPTY without freeing anything.
void VariantInit(VARIANT* v);

// Frees what v owns (BSTR, array, interface reference; nothing for BYREF) and leaves it
// VT_EMPTY. DISP_E_BADVARTYPE (v unchanged) for a type this layer does not know.
HRESULT VariantClear(VARIANT* v);

// Clears dest, then makes it an independent copy of src (new BSTR, copied array, added
// reference). On failure dest is VT_EMPTY. dest == src is allowed and does nothing.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// As VariantCopy, but a BYREF source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

// Converts src (BYREF followed) to type vt into dest (dest may be src). Supported targets:
// the numeric types, BOOL, CY, DATE, ERROR (from ERROR only), BSTR, UNKNOWN/DISPATCH (from
// either), EMPTY. Text is read and written with "." as decimal separator whatever the locale.
// Results: DISP_E_OVERFLOW when a number does not fit, DISP_E_TYPEMISMATCH when text is not
// a number or the types do not convert, DISP_E_BADVARTYPE for an unknown type. On failure
// dest is left as it was unless dest == src.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

// Small builders for code inside a module.
inline VARIANT MakeVariantI4(int32_t value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
inline VARIANT MakeVariantBool(bool value) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
// Owns the BSTR it is given.
inline VARIANT MakeVariantBstr(BSTR value) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}

// Owns one VARIANT and clears it when it goes; for code inside a module.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(const VARIANT& adopt) : v_(adopt) {}
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    VARIANT Detach() {
        VARIANT out = v_;
        VariantInit(&v_);
        return out;
    }

private:
    VARIANT v_;  // owned value
};

}  // namespace quenda
