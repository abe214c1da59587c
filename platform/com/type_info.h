// Static type-info tables (names, DISPIDs, kinds, argument types) that drive IDispatch.
//
// A dual interface is written once: the C++ abstract class with its get_/put_/method members,
// and one table listing them with DispPropGet/DispPropPut/DispMethod. GetIDsOfNames, Invoke,
// ITypeInfo and the type library registration are all answered from that table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr uint16_t INVOKE_FUNC = 1;
inline constexpr uint16_t INVOKE_PROPERTYGET = 2;
inline constexpr uint16_t INVOKE_PROPERTYPUT = 4;
inline constexpr uint16_t INVOKE_PROPERTYPUTREF = 8;

inline constexpr int kMaxDispParams = 8;

// Calls one member of the interface object with already coerced arguments (in declaration
// order) and fills *result (VT_EMPTY when the member returns nothing).
using DispThunk = HRESULT (*)(void* object, VARIANT* args, VARIANT* result);

struct DispMember {
    const char16_t* name;                 // member name, matched case-blind
    DISPID dispid;                        // shared by the get and put of one property
    uint16_t invokeKind;                  // INVOKE_FUNC / INVOKE_PROPERTYGET / INVOKE_PROPERTYPUT
    VARTYPE type;                         // property type, or the method's result (VT_EMPTY: none)
    uint8_t paramCount;                   // [in] parameters (a put has 1: the value)
    VARTYPE paramTypes[kMaxDispParams];   // their types, in declaration order
    DispThunk thunk;                      // nullptr for members of an event interface
};

inline constexpr uint16_t kDispDual = 1;    // vtable and IDispatch both
inline constexpr uint16_t kDispSource = 2;  // an event interface the object calls

struct DispInterface {
    IID iid;
    const char16_t* name;
    uint16_t flags;
    const DispMember* members;
    uint32_t memberCount;
};

struct CoclassInfo {
    CLSID clsid;
    const char16_t* name;
    const DispInterface* defaultInterface;  // the dual interface
    const DispInterface* eventInterface;    // the source interface, or nullptr
};

struct TypeLibInfo {
    GUID libid;
    const char16_t* name;
    uint16_t majorVersion;
    uint16_t minorVersion;
    const CoclassInfo* coclass;
};

enum TYPEKIND : int32_t { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
inline constexpr int32_t IMPLTYPEFLAG_FDEFAULT = 1;
inline constexpr int32_t IMPLTYPEFLAG_FSOURCE = 2;

// The description of one interface or class, built from a table. Descriptor pointers stay
// valid while the type info is held.
class ITypeInfo : public IUnknown {
public:
    virtual HRESULT GetTypeKind(TYPEKIND* kind) = 0;
    virtual HRESULT GetGuid(GUID* guid) = 0;
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetFuncCount(UINT* count) = 0;
    // Copies member index; TYPE_E_ELEMENTNOTFOUND past the end.
    virtual HRESULT GetFuncDesc(UINT index, DispMember* member) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) = 0;
    // For a class: its interfaces (default first, then the source interface).
    virtual HRESULT GetImplTypeCount(UINT* count) = 0;
    virtual HRESULT GetImplType(UINT index, int32_t* flags, ITypeInfo** info) = 0;
    // IDispatch::Invoke on object, which must implement this interface.
    virtual HRESULT Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, UINT* argError) = 0;

protected:
    ~ITypeInfo() = default;
};

// Type info over a static interface table. owner (may be nullptr) is held for the life of
// the type info, so the library holding the tables stays loaded.
HRESULT CreateInterfaceTypeInfo(const DispInterface* table, IUnknown* owner, ITypeInfo** info);
HRESULT CreateCoclassTypeInfo(const CoclassInfo* coclass, IUnknown* owner, ITypeInfo** info);

// IDispatch::GetIDsOfNames from a table (see IDispatch for the contract).
HRESULT DispatchGetIDsOfNames(const DispInterface& table, LPOLESTR* names, UINT count, DISPID* ids);

// IDispatch::Invoke from a table on object (a pointer to the interface the table describes).
// Picks the member by DISPID and flags (a put when PROPERTYPUT/PUTREF is asked, else a get,
// else a method), checks the argument count (DISP_E_BADPARAMCOUNT), follows BYREF arguments
// and coerces each to its declared type (failure: the coercion result, *argError = the
// argument's position in rgvarg). A failing member with excepInfo given fills it from the
// thread's error info and returns DISP_E_EXCEPTION. DISP_E_MEMBERNOTFOUND for an unknown
// DISPID or kind.
HRESULT DispatchInvoke(const DispInterface& table, void* object, DISPID id, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argError);

// The member with this DISPID and invoke kind, or nullptr.
const DispMember* FindDispMember(const DispInterface& table, DISPID id, uint16_t invokeKind);

// How a C++ parameter type maps to a VARIANT. Only these types may appear in table members.
template <typename T>
struct DispType {
    static constexpr bool kDefined = false;
};

#define QUENDA_DISP_TYPE(T, VT, FIELD, ...)                                        \
    template <>                                                                    \
    struct DispType<T> {                                                           \
        static constexpr bool kDefined = true;                                     \
        static constexpr VARTYPE kVt = VT;                                         \
        static constexpr bool Accepts(VARTYPE vt) {                                \
            for (VARTYPE a : {VARTYPE(VT) __VA_OPT__(, ) __VA_ARGS__}) {                       \
                if (a == vt) return true;                                          \
            }                                                                      \
            return false;                                                          \
        }                                                                          \
        static T Read(VARIANT& v) { return v.FIELD; }                              \
        static void Write(VARIANT* v, VARTYPE vt, T value) {                      \
            v->vt = vt;                                                            \
            v->FIELD = value;                                                      \
        }                                                                          \
    };

QUENDA_DISP_TYPE(int8_t, VT_I1, cVal)
QUENDA_DISP_TYPE(uint8_t, VT_UI1, bVal)
QUENDA_DISP_TYPE(int16_t, VT_I2, iVal, VARTYPE(VT_BOOL))
QUENDA_DISP_TYPE(uint16_t, VT_UI2, uiVal)
QUENDA_DISP_TYPE(int32_t, VT_I4, lVal, VARTYPE(VT_INT), VARTYPE(VT_ERROR))
QUENDA_DISP_TYPE(uint32_t, VT_UI4, ulVal, VARTYPE(VT_UINT))
QUENDA_DISP_TYPE(float, VT_R4, fltVal)
QUENDA_DISP_TYPE(double, VT_R8, dblVal, VARTYPE(VT_DATE))
QUENDA_DISP_TYPE(CY, VT_CY, cyVal)
QUENDA_DISP_TYPE(BSTR, VT_BSTR, bstrVal)
QUENDA_DISP_TYPE(IUnknown*, VT_UNKNOWN, punkVal)
QUENDA_DISP_TYPE(IDispatch*, VT_DISPATCH, pdispVal)
#undef QUENDA_DISP_TYPE

template <>
struct DispType<VARIANT> {
    static constexpr bool kDefined = true;
    static constexpr VARTYPE kVt = VT_VARIANT;
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_VARIANT; }
    static VARIANT Read(VARIANT& v) { return v; }
    static void Write(VARIANT* v, VARTYPE, VARIANT value) { *v = value; }
};

namespace disp_detail {

template <typename F>
struct MemberFn;
template <typename I, typename... A>
struct MemberFn<HRESULT (I::*)(A...)> {
    using Iface = I;
    using Args = std::tuple<A...>;
    static constexpr size_t kArity = sizeof...(A);
};

// A trailing T* whose T maps to a VARIANT is the member's result ([out, retval]).
template <typename P>
constexpr bool IsRetval() {
    if constexpr (std::is_pointer_v<P>) {
        return DispType<std::remove_pointer_t<P>>::kDefined;
    } else {
        return false;
    }
}

template <typename Tuple, size_t... I>
constexpr DispMember MakeMember(const char16_t* name, DISPID id, uint16_t kind, VARTYPE type, DispThunk thunk,
                                std::index_sequence<I...>) {
    DispMember m{name, id, kind, type, static_cast<uint8_t>(sizeof...(I)), {}, thunk};
    size_t k = 0;
    ((m.paramTypes[k++] = DispType<std::tuple_element_t<I, Tuple>>::kVt), ...);
    return m;
}

template <auto M, typename Tuple, bool HasRet, size_t... I>
HRESULT CallMember(void* object, VARIANT* args, VARIANT* result, std::index_sequence<I...>) {
    using F = MemberFn<decltype(M)>;
    auto* self = static_cast<typename F::Iface*>(object);
    if constexpr (HasRet) {
        using RetPtr = std::tuple_element_t<std::tuple_size_v<Tuple>, typename F::Args>;
        using Ret = std::remove_pointer_t<RetPtr>;
        Ret value{};
        HRESULT hr = (self->*M)(DispType<std::tuple_element_t<I, Tuple>>::Read(args[I])..., &value);
        if (SUCCEEDED(hr)) DispType<Ret>::Write(result, DispType<Ret>::kVt, value);
        return hr;
    } else {
        (void)args;
        (void)result;
        return (self->*M)(DispType<std::tuple_element_t<I, Tuple>>::Read(args[I])...);
    }
}

template <typename Tuple, size_t... I>
auto Prefix(std::index_sequence<I...>) -> std::tuple<std::tuple_element_t<I, Tuple>...>;

template <typename Args, size_t N>
constexpr bool LastIsRetval() {
    if constexpr (N == 0) {
        return false;
    } else {
        return IsRetval<std::tuple_element_t<N - 1, Args>>();
    }
}

template <auto M>
struct MethodShape {
    using F = MemberFn<decltype(M)>;
    static constexpr bool kHasRet = LastIsRetval<typename F::Args, F::kArity>();
    static constexpr size_t kIn = kHasRet ? F::kArity - 1 : F::kArity;
    using In = decltype(Prefix<typename F::Args>(std::make_index_sequence<kIn>()));
};

template <auto M>
HRESULT MethodThunk(void* object, VARIANT* args, VARIANT* result) {
    using S = MethodShape<M>;
    return CallMember<M, typename S::In, S::kHasRet>(object, args, result, std::make_index_sequence<S::kIn>());
}

template <auto Get, VARTYPE VT>
HRESULT GetThunk(void* object, VARIANT*, VARIANT* result) {
    using F = MemberFn<decltype(Get)>;
    using Ret = std::remove_pointer_t<std::tuple_element_t<0, typename F::Args>>;
    Ret value{};
    HRESULT hr = (static_cast<typename F::Iface*>(object)->*Get)(&value);
    if (SUCCEEDED(hr)) DispType<Ret>::Write(result, VT, value);
    return hr;
}

template <auto Put>
HRESULT PutThunk(void* object, VARIANT* args, VARIANT*) {
    using F = MemberFn<decltype(Put)>;
    using Arg = std::tuple_element_t<0, typename F::Args>;
    return (static_cast<typename F::Iface*>(object)->*Put)(DispType<Arg>::Read(args[0]));
}

}  // namespace disp_detail

// A property get: Get is HRESULT (I::*)(T*); VT is the property's declared type (defaults to
// the type T maps to; VT_BOOL for an int16_t flag).
template <auto Get, VARTYPE VT = 0>
constexpr DispMember DispPropGet(const char16_t* name, DISPID id) {
    using F = disp_detail::MemberFn<decltype(Get)>;
    static_assert(F::kArity == 1, "a property get takes one out parameter");
    using Ret = std::remove_pointer_t<std::tuple_element_t<0, typename F::Args>>;
    constexpr VARTYPE vt = VT ? VT : DispType<Ret>::kVt;
    static_assert(DispType<Ret>::Accepts(vt), "declared type does not fit the C++ type");
    return DispMember{name, id, INVOKE_PROPERTYGET, vt, 0, {}, &disp_detail::GetThunk<Get, vt>};
}

// A property put: Put is HRESULT (I::*)(T).
template <auto Put, VARTYPE VT = 0>
constexpr DispMember DispPropPut(const char16_t* name, DISPID id) {
    using F = disp_detail::MemberFn<decltype(Put)>;
    static_assert(F::kArity == 1, "a property put takes the value");
    using Arg = std::tuple_element_t<0, typename F::Args>;
    constexpr VARTYPE vt = VT ? VT : DispType<Arg>::kVt;
    static_assert(DispType<Arg>::Accepts(vt), "declared type does not fit the C++ type");
    DispMember m{name, id, INVOKE_PROPERTYPUT, vt, 1, {}, &disp_detail::PutThunk<Put>};
    m.paramTypes[0] = vt;
    return m;
}

// A method: [in] parameters of mapped types, optionally a trailing T* result.
template <auto M>
constexpr DispMember DispMethod(const char16_t* name, DISPID id) {
    using S = disp_detail::MethodShape<M>;
    static_assert(S::kIn <= kMaxDispParams, "too many parameters");
    VARTYPE result = VT_EMPTY;
    if constexpr (S::kHasRet) {
        using F = disp_detail::MemberFn<decltype(M)>;
        result = DispType<std::remove_pointer_t<std::tuple_element_t<F::kArity - 1, typename F::Args>>>::kVt;
    }
    return disp_detail::MakeMember<typename S::In>(name, id, INVOKE_FUNC, result, &disp_detail::MethodThunk<M>,
                                                  std::make_index_sequence<S::kIn>());
}

// A member of an event interface: its name, DISPID and argument types (all passed by reference).
constexpr DispMember DispEvent(const char16_t* name, DISPID id, std::initializer_list<VARTYPE> params) {
    DispMember m{name, id, INVOKE_FUNC, VT_EMPTY, static_cast<uint8_t>(params.size()), {}, nullptr};
    size_t k = 0;
    for (VARTYPE vt : params) {
        if (k < kMaxDispParams) m.paramTypes[k++] = vt;
    }
    return m;
}

}  // namespace quenda
