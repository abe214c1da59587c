// The ICMPPort control as its library and its hosts both know it: GUIDs, ProgIDs, the dual
// interface IICMPPort, its DISPIDs, the event DISPIDs, help contexts and component codes.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr CLSID CLSID_ICMPPort = {
    0x7C41E2A1, 0x3D95, 0x4B6A, {0x9E, 0x17, 0x50, 0x65, 0x6C, 0x6C, 0x69, 0x01}};
inline constexpr IID IID_IICMPPort = {
    0x7C41E2A2, 0x3D95, 0x4B6A, {0x9E, 0x17, 0x50, 0x65, 0x6C, 0x6C, 0x69, 0x02}};
inline constexpr IID DIID__IICMPPortEvents = {
    0x7C41E2A3, 0x3D95, 0x4B6A, {0x9E, 0x17, 0x50, 0x65, 0x6C, 0x6C, 0x69, 0x03}};
inline constexpr GUID LIBID_ICMPPORTLib = {
    0x7C41E2A4, 0x3D95, 0x4B6A, {0x9E, 0x17, 0x50, 0x65, 0x6C, 0x6C, 0x69, 0x04}};

inline constexpr char16_t kIcmpPortProgId[] = u"ICMPPort.ICMPPort.1";
inline constexpr char16_t kIcmpPortIndependentProgId[] = u"ICMPPort.ICMPPort";
// The library's file name, found beside the program (or on the loader's path).
inline constexpr char kIcmpPortLibraryName[] = "libpellin.so";

enum IcmpPortDispid : DISPID {
    kIcmpDispAcceptData = 1,               // BOOL, run time only
    kIcmpDispActive = 2,                   // BOOL, run time only; True while the socket is open
    kIcmpDispDataToSend = 3,               // BSTR, write-only: each set sends one ICMP message
    kIcmpDispDontRoute = 4,                // BOOL, run time only
    kIcmpDispInBufferSize = 5,             // I4
    kIcmpDispLocalHost = 6,                // BSTR
    kIcmpDispMaxMessageSize = 7,           // I4: data bytes of the largest message, 0-65531
    kIcmpDispMessageSubType = 8,           // I2, 0-255: ICMP code of messages sent
    kIcmpDispMessageType = 9,              // I2, 0-255: ICMP type of messages sent
    kIcmpDispOutBufferSize = 10,           // I4
    kIcmpDispRemoteHost = 11,              // BSTR, dotted
    kIcmpDispSocketHandle = 12,            // I4, run time only, read-only
    kIcmpDispTimeToLive = 13,              // I4, run time only; 0 leaves the system's default
    kIcmpDispUseConnection = 14,           // BOOL
    kIcmpDispWinsockInfo = 15,             // BSTR, read-only
    kIcmpDispWinsockLoaded = 16,           // BOOL
    kIcmpDispWinsockMaxDatagramSize = 17,  // I4, read-only, run time only
    kIcmpDispWinsockMaxSockets = 18,       // I4, read-only, run time only
    kIcmpDispWinsockPath = 19,             // BSTR, run time only
    kIcmpDispWinsockStatus = 20,           // BSTR, read-only
    kIcmpDispDataToSendB = 21,             // VARIANT (1-D byte or variant array), write-only
    kIcmpDispDataInMessageDataB = 22,      // VARIANT, read-only: the data of the running DataIn
    kIcmpDispOnStartPage = 0x60020030,
    kIcmpDispOnEndPage = 0x60020031,
};

enum IcmpPortEventDispid : DISPID {
    // MessageType (I2), MessageSubType (I2), MessageData (BSTR), Checksum (I2: 1 intact,
    // 0 damaged), SourceAddress (BSTR); all by reference.
    kIcmpEventDataIn = 1,
    kIcmpEventError = 2,        // ErrorCode (I2), Description (BSTR), by reference
    kIcmpEventReadyToSend = 3,  // none
};

// Help context of each property's errors: kIcmpHelpBase + DISPID - 1 for DISPIDs 1-20;
// DataToSendB uses AcceptData's, DataInMessageDataB its own.
inline constexpr uint32_t kIcmpHelpBase = 21601;
inline constexpr uint32_t kIcmpHelpDataInMessageDataB = 31601;

// Component codes of ICMPPort (Winsock codes pass through unchanged).
inline constexpr int kIcmpAlreadyActive = 104;
inline constexpr int kIcmpLocalHostActive = 107;
inline constexpr int kIcmpNotActive = 109;
inline constexpr int kIcmpMaxMessageSizeActive = 112;
inline constexpr int kIcmpRemoteHostConnected = 114;
inline constexpr int kIcmpUseConnectionActive = 117;
inline constexpr int kIcmpMessageTooLong = 118;
inline constexpr int kIcmpMessageTooShort = 119;  // raised by the Error event only

// The dual interface, in type-library order.
class IICMPPort : public IDispatch {
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
    virtual HRESULT get_MaxMessageSize(int32_t* value) = 0;
    virtual HRESULT put_MaxMessageSize(int32_t value) = 0;
    virtual HRESULT get_MessageSubType(int16_t* value) = 0;
    virtual HRESULT put_MessageSubType(int16_t value) = 0;
    virtual HRESULT get_MessageType(int16_t* value) = 0;
    virtual HRESULT put_MessageType(int16_t value) = 0;
    virtual HRESULT get_OutBufferSize(int32_t* value) = 0;
    virtual HRESULT put_OutBufferSize(int32_t value) = 0;
    virtual HRESULT get_RemoteHost(BSTR* value) = 0;
    virtual HRESULT put_RemoteHost(BSTR value) = 0;
    virtual HRESULT get_SocketHandle(int32_t* value) = 0;
    virtual HRESULT put_SocketHandle(int32_t value) = 0;
    virtual HRESULT get_TimeToLive(int32_t* value) = 0;
    virtual HRESULT put_TimeToLive(int32_t value) = 0;
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
    virtual HRESULT get_DataInMessageDataB(VARIANT* value) = 0;
    virtual HRESULT put_DataInMessageDataB(VARIANT value) = 0;
    virtual HRESULT AboutBox() = 0;
    virtual HRESULT DoEvents() = 0;
    virtual HRESULT OnStartPage(IUnknown* page) = 0;
    virtual HRESULT OnEndPage() = 0;

  protected:
    ~IICMPPort() = default;
};

}  // namespace quenda
