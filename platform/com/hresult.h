// HRESULT, the result of every call across a component boundary, and the codes this program uses.
#pragma once

#include <cstdint>

namespace quenda {

using HRESULT = int32_t;
using SCODE = int32_t;

constexpr HRESULT MakeHresult(uint32_t bits) { return static_cast<HRESULT>(bits); }

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHresult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHresult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000B);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHresult(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHresult(0x8002000F);

inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHresult(0x8002802B);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeHresult(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHresult(0x8002801D);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = MakeHresult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MakeHresult(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHresult(0x8004015F);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHresult(0x800401F9);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3);
inline constexpr HRESULT SELFREG_E_TYPELIB = MakeHresult(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = MakeHresult(0x80040201);

inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHresult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHresult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHresult(0x80040202);

inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHresult(0x80040003);
inline constexpr HRESULT OLE_E_NOCONNECTION = MakeHresult(0x80040004);
inline constexpr HRESULT OLE_E_BLANK = MakeHresult(0x80040007);
inline constexpr HRESULT OLEOBJ_S_INVALIDVERB = MakeHresult(0x00040181);
inline constexpr HRESULT OLEOBJ_E_NOVERBS = MakeHresult(0x80040180);
inline constexpr HRESULT DV_E_DVASPECT = MakeHresult(0x8004006B);
inline constexpr HRESULT VIEW_E_DRAW = MakeHresult(0x80040140);

inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHresult(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = MakeHresult(0x80030002);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeHresult(0x80030005);
inline constexpr HRESULT STG_E_INVALIDPOINTER = MakeHresult(0x80030009);
inline constexpr HRESULT STG_E_MEDIUMFULL = MakeHresult(0x80030070);
inline constexpr HRESULT STG_E_WRITEFAULT = MakeHresult(0x8003001D);
inline constexpr HRESULT STG_E_READFAULT = MakeHresult(0x8003001E);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = MakeHresult(0x80030057);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHresult(0x80030050);

}  // namespace quenda
