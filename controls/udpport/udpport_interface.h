// The UDPPort control as its library and its hosts both know it: GUIDs, ProgIDs, the dual
// interface IUDPPort, its DISPIDs, the event DISPIDs and the help contexts of its errors.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr CLSID CLSID_UDPPort = {
    0x3B8C5A11, 0x64D2, 0x4F0E, {0x8A, 0x31, 0x51, 0x75, 0x65, 0x6E, 0x64, 0x01}};
inline constexpr IID IID_IUDPPort = {
    0x3B8C5A12, 0x64D2, 0x4F0E, {0x8A, 0x31, 0x51, 0x75, 0x65, 0x6E, 0x64, 0x02}};
inline constexpr IID DIID__IUDPPortEvents = {
    0x3B8C5A13, 0x64D2, 0x4F0E, {0x8A, 0x31, 0x51, 0x75, 0x65, 0x6E, 0x64, 0x03}};
inline constexpr GUID LIBID_UDPPORTLib = {
    0x3B8C5A14, 0x64D2, 0x4F0E, {0x8A, 0x31, 0x51, 0x75, 0x65, 0x6E, 0x64, 0x04}};

inline constexpr char16_t kUdpPortProgId[] = u"UDPPort.UDPPort.1";
inline constexpr char16_t kUdpPortIndependentProgId[] = u"UDPPort.UDPPort";
// The library's file name, found beside the program (or on the loader's path).
inline constexpr char kUdpPortLibraryName[] = "libtarnel.so";

enum UdpPortDispid : DISPID {
    kUdpDispAcceptData = 1,               // BOOL, run time only
    kUdpDispActive = 2,                   // BOOL, run time only; True while a socket is open
    kUdpDispDataToSend = 3,               // BSTR, write-only: each set sends one datagram
    kUdpDispDontRoute = 4,                // BOOL, run time only
    kUdpDispInBufferSize = 5,             // I4
    kUdpDispLocalHost = 6,                // BSTR
    kUdpDispLocalPort = 7,                // I4, 0-65535
    kUdpDispMaxPacketSize = 8,            // I4, 0-65535
    kUdpDispOutBufferSize = 9,            // I4
    kUdpDispRemoteHost = 10,              // BSTR, dotted
    kUdpDispRemotePort = 11,              // I4, 0-65535
    kUdpDispShareLocalPort = 12,          // BOOL, run time only
    kUdpDispSocketHandle = 13,            // I4, run time only, read-only
    kUdpDispUseConnection = 14,           // BOOL
    kUdpDispWinsockInfo = 15,             // BSTR, read-only
    kUdpDispWinsockLoaded = 16,           // BOOL
    kUdpDispWinsockMaxDatagramSize = 17,  // I4, read-only, run time only
    kUdpDispWinsockMaxSockets = 18,       // I4, read-only, run time only
    kUdpDispWinsockPath = 19,             // BSTR, run time only
    kUdpDispWinsockStatus = 20,           // BSTR, read-only
    kUdpDispDataToSendB = 21,             // VARIANT (1-D byte or variant array), write-only
    kUdpDispDataInDatagramB = 22,         // VARIANT, read-only: the datagram of the running DataIn
    kUdpDispOnStartPage = 0x60020030,
    kUdpDispOnEndPage = 0x60020031,
};

enum UdpPortEventDispid : DISPID {
    kUdpEventDataIn = 1,  // Datagram (BSTR), SourceAddress (BSTR), SourcePort (I2), by reference
    kUdpEventError = 2,   // ErrorCode (I2), Description (BSTR), by reference
    kUdpEventReadyToSend = 3,  // none
};

// Help context of each property's errors: kUdpHelpBase + DISPID - 1 for DISPIDs 1-20;
// DataToSendB uses AcceptData's, DataInDatagramB its own.
inline constexpr uint32_t kUdpHelpBase = 21301;
inline constexpr uint32_t kUdpHelpDataInDatagramB = 31301;

// Component codes of UDPPort (Winsock codes pass through unchanged).
inline constexpr int kUdpAlreadyActive = 104;
inline constexpr int kUdpLocalPortActive = 106;
inline constexpr int kUdpLocalHostActive = 107;
inline constexpr int kUdpNotActive = 109;
inline constexpr int kUdpMaxPacketSizeActive = 112;
inline constexpr int kUdpRemoteHostConnected = 114;
inline constexpr int kUdpRemotePortConnected = 115;
inline constexpr int kUdpRemotePortZero = 116;
inline constexpr int kUdpUseConnectionActive = 117;

// The error number a host sees for a failed call: the low word of the HRESULT
// (20001 + component code, 15001 + Winsock code, 7 for out of memory), 0 for success.
inline constexpr int HostErrorNumber(HRESULT hr) {
    return SUCCEEDED(hr) ? 0 : static_cast<int>(static_cast<uint32_t>(hr) & 0xFFFF);
}

// The dual interface, in type-library order.
class IUDPPort : public IDispatch {
  public:
    virtual HRESULT get_AcceptData(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_AcceptData(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Active(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_Active(VARIANT_BOOL value) = 0;
    virtual HRESULT get_DataToSend(BSTR* value) = 0;
    virtual HRESULT put_DataToSend(BSTR value) = 0;
    virtual HRESULT get_DontRoute(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_DontRoute(VARIANT_BOOL value) = 0;
    virtual HRESULT get_InBufferSize(int32_t* value) = 0;
    virtual HRESULT put_InBufferSize(int32_t value) = 0;
    virtual HRESULT get_LocalHost(BSTR* value) = 0;
    virtual HRESULT put_LocalHost(BSTR value) = 0;
    virtual HRESULT get_LocalPort(int32_t* value) = 0;
    virtual HRESULT put_LocalPort(int32_t value) = 0;
    virtual HRESULT get_MaxPacketSize(int32_t* value) = 0;
    virtual HRESULT put_MaxPacketSize(int32_t value) = 0;
    virtual HRESULT get_OutBufferSize(int32_t* value) = 0;
    virtual HRESULT put_OutBufferSize(int32_t value) = 0;
    virtual HRESULT get_RemoteHost(BSTR* value) = 0;
    virtual HRESULT put_RemoteHost(BSTR value) = 0;
    virtual HRESULT get_RemotePort(int32_t* value) = 0;
    virtual HRESULT put_RemotePort(int32_t value) = 0;
    virtual HRESULT get_ShareLocalPort(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_ShareLocalPort(VARIANT_BOOL value) = 0;
    virtual HRESULT get_SocketHandle(int32_t* value) = 0;
    virtual HRESULT put_SocketHandle(int32_t value) = 0;
    virtual HRESULT get_UseConnection(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_UseConnection(VARIANT_BOOL value) = 0;
    virtual HRESULT get_WinsockInfo(BSTR* value) = 0;
    virtual HRESULT put_WinsockInfo(BSTR value) = 0;
    virtual HRESULT get_WinsockLoaded(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_WinsockLoaded(VARIANT_BOOL value) = 0;
    virtual HRESULT get_WinsockMaxDatagramSize(int32_t* value) = 0;
    virtual HRESULT put_WinsockMaxDatagramSize(int32_t value) = 0;
    virtual HRESULT get_WinsockMaxSockets(int32_t* value) = 0;
    virtual HRESULT put_WinsockMaxSockets(int32_t value) = 0;
    virtual HRESULT get_WinsockPath(BSTR* value) = 0;
    virtual HRESULT put_WinsockPath(BSTR value) = 0;
    virtual HRESULT get_WinsockStatus(BSTR* value) = 0;
    virtual HRESULT put_WinsockStatus(BSTR value) = 0;
    // The caller owns the VARIANT a get returns; a put only reads its argument.
    virtual HRESULT get_DataToSendB(VARIANT* value) = 0;
    virtual HRESULT put_DataToSendB(VARIANT value) = 0;
    virtual HRESULT get_DataInDatagramB(VARIANT* value) = 0;
    virtual HRESULT put_DataInDatagramB(VARIANT value) = 0;
    virtual HRESULT AboutBox() = 0;
    virtual HRESULT DoEvents() = 0;
    virtual HRESULT OnStartPage(IUnknown* page) = 0;
    virtual HRESULT OnEndPage() = 0;

  protected:
    ~IUDPPort() = default;
};

}  // namespace quenda
