// IDispatch (late-bound calls by DISPID), its argument records, and the type info of a table.
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace quenda {

using DISPID = int32_t;
using LCID = uint32_t;
using UINT = uint32_t;
using WORD = uint16_t;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;

inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_ENABLED = -514;
inline constexpr DISPID DISPID_DOEVENTS = -550;
inline constexpr DISPID DISPID_ABOUTBOX = -552;
inline constexpr DISPID DISPID_AMBIENT_LOCALEID = -705;
inline constexpr DISPID DISPID_AMBIENT_SCALEUNITS = -707;
inline constexpr DISPID DISPID_AMBIENT_USERMODE = -709;
inline constexpr DISPID DISPID_AMBIENT_UIDEAD = -710;

inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Arguments of one Invoke: rgvarg holds them last argument first.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// What a failed Invoke reports (DISP_E_EXCEPTION). The caller frees the three BSTRs.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    uint32_t dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

class ITypeInfo;

class IDispatch : public IUnknown {
public:
    // *count = 1 when GetTypeInfo works, else 0.
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    // Member names (case-blind) to DISPIDs; DISP_E_UNKNOWNNAME with DISPID_UNKNOWN for a
    // name not known. Only names[0] is looked up; further names (argument names) get
    // DISPID_UNKNOWN and the result DISP_E_UNKNOWNNAME.
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) = 0;
    // Calls member id with flags (DISPATCH_*). The caller owns params and result; result
    // may be nullptr. On a failure of the member with excepInfo given, the error info is
    // moved into *excepInfo and the result is DISP_E_EXCEPTION.
    virtual HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, UINT* argError) = 0;

protected:
    ~IDispatch() = default;
};

// Frees the BSTRs an EXCEPINFO holds and zeroes it.
void ClearExcepInfo(EXCEPINFO* info);

}  // namespace quenda
