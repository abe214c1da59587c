// SAFEARRAY: arrays of automation values with bounds, as byte arrays and variant arrays travel.
#pragma once

#include <cstdint>

#include "platform/com/variant.h"

namespace quenda {

struct SAFEARRAYBOUND {
    uint32_t cElements;  // number of elements in this dimension
    int32_t lLbound;     // index of the first element
};

inline constexpr uint16_t FADF_BSTR = 0x0100;
inline constexpr uint16_t FADF_UNKNOWN = 0x0200;
inline constexpr uint16_t FADF_DISPATCH = 0x0400;
inline constexpr uint16_t FADF_VARIANT = 0x0800;
inline constexpr uint16_t FADF_HAVEVARTYPE = 0x0080;

// Largest array this layer creates, in bytes of element data.
inline constexpr uint64_t kMaxSafeArrayBytes = 1u << 30;

struct SAFEARRAY {
    uint16_t cDims;                // number of dimensions, 1 or more
    uint16_t fFeatures;            // FADF_* flags
    uint32_t cbElements;           // size of one element in bytes
    uint32_t cLocks;               // outstanding locks; a locked array cannot be destroyed
    void* pvData;                  // elements, first dimension varying fastest
    SAFEARRAYBOUND rgsabound[1];   // cDims bounds, in reverse order of the indices
};

// A new array of cDims dimensions of element type vt (UI1, I1, I2, UI2, I4, UI4, INT, UINT,
// R4, R8, CY, DATE, BOOL, ERROR, BSTR, VARIANT, UNKNOWN, DISPATCH), zero-filled (VT_EMPTY for
// variants). bounds[0] is the leftmost index. nullptr for an unknown type, no dimensions, or
// more than kMaxSafeArrayBytes of data.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t cDims, const SAFEARRAYBOUND* bounds);

// A one-dimensional array of count elements starting at index lowerBound.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t count);

// Frees the array and what its elements own. DISP_E_ARRAYISLOCKED while locked; nullptr is
// accepted (S_OK).
HRESULT SafeArrayDestroy(SAFEARRAY* array);

// A deep copy (new BSTRs, added references); E_OUTOFMEMORY or E_INVALIDARG on failure with
// *copy = nullptr.
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);

uint32_t SafeArrayGetDim(SAFEARRAY* array);  // 0 for nullptr
uint32_t SafeArrayGetElemsize(SAFEARRAY* array);  // 0 for nullptr

// The element type. E_INVALIDARG for nullptr or an array made elsewhere without its type.
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);

// Bounds of dimension dim (1 = leftmost index). DISP_E_BADINDEX when dim is out of range.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* bound);

HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);  // E_UNEXPECTED when not locked

// Locks the array and gives its element data; pair with SafeArrayUnaccessData.
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);

// Copies the element at indices (one per dimension, leftmost first) into *out, overwriting it
// without freeing what it held: a new BSTR,
// a copied VARIANT or an added reference, so the caller owns the result. DISP_E_BADINDEX
// when an index is out of bounds.
HRESULT SafeArrayGetElement(SAFEARRAY* array, const int32_t* indices, void* out);

// Stores a copy of *value at indices, freeing what the element held before.
HRESULT SafeArrayPutElement(SAFEARRAY* array, const int32_t* indices, const void* value);

}  // namespace quenda
