// The Tarnel library: the type tables and class of UDPPort, and the four exported entry points.
#include <array>

#include "controls/udpport/udp_port.h"

namespace quenda {
namespace {

using I = IUDPPort;

constexpr DispMember kMembers[] = {
    DispPropGet<&I::get_AcceptData, VT_BOOL>(u"AcceptData", kUdpDispAcceptData),
    DispPropPut<&I::put_AcceptData, VT_BOOL>(u"AcceptData", kUdpDispAcceptData),
    DispPropGet<&I::get_Active, VT_BOOL>(u"Active", kUdpDispActive),
    DispPropPut<&I::put_Active, VT_BOOL>(u"Active", kUdpDispActive),
    DispPropGet<&I::get_DataToSend>(u"DataToSend", kUdpDispDataToSend),
    DispPropPut<&I::put_DataToSend>(u"DataToSend", kUdpDispDataToSend),
    DispPropGet<&I::get_DontRoute, VT_BOOL>(u"DontRoute", kUdpDispDontRoute),
    DispPropPut<&I::put_DontRoute, VT_BOOL>(u"DontRoute", kUdpDispDontRoute),
    DispPropGet<&I::get_InBufferSize>(u"InBufferSize", kUdpDispInBufferSize),
    DispPropPut<&I::put_InBufferSize>(u"InBufferSize", kUdpDispInBufferSize),
    DispPropGet<&I::get_LocalHost>(u"LocalHost", kUdpDispLocalHost),
    DispPropPut<&I::put_LocalHost>(u"LocalHost", kUdpDispLocalHost),
    DispPropGet<&I::get_LocalPort>(u"LocalPort", kUdpDispLocalPort),
    DispPropPut<&I::put_LocalPort>(u"LocalPort", kUdpDispLocalPort),
    DispPropGet<&I::get_MaxPacketSize>(u"MaxPacketSize", kUdpDispMaxPacketSize),
    DispPropPut<&I::put_MaxPacketSize>(u"MaxPacketSize", kUdpDispMaxPacketSize),
    DispPropGet<&I::get_OutBufferSize>(u"OutBufferSize", kUdpDispOutBufferSize),
    DispPropPut<&I::put_OutBufferSize>(u"OutBufferSize", kUdpDispOutBufferSize),
    DispPropGet<&I::get_RemoteHost>(u"RemoteHost", kUdpDispRemoteHost),
    DispPropPut<&I::put_RemoteHost>(u"RemoteHost", kUdpDispRemoteHost),
    DispPropGet<&I::get_RemotePort>(u"RemotePort", kUdpDispRemotePort),
    DispPropPut<&I::put_RemotePort>(u"RemotePort", kUdpDispRemotePort),
    DispPropGet<&I::get_ShareLocalPort, VT_BOOL>(u"ShareLocalPort", kUdpDispShareLocalPort),
    DispPropPut<&I::put_ShareLocalPort, VT_BOOL>(u"ShareLocalPort", kUdpDispShareLocalPort),
    DispPropGet<&I::get_SocketHandle>(u"SocketHandle", kUdpDispSocketHandle),
    DispPropPut<&I::put_SocketHandle>(u"SocketHandle", kUdpDispSocketHandle),
    DispPropGet<&I::get_UseConnection, VT_BOOL>(u"UseConnection", kUdpDispUseConnection),
    DispPropPut<&I::put_UseConnection, VT_BOOL>(u"UseConnection", kUdpDispUseConnection),
    DispPropGet<&I::get_WinsockInfo>(u"WinsockInfo", kUdpDispWinsockInfo),
    DispPropPut<&I::put_WinsockInfo>(u"WinsockInfo", kUdpDispWinsockInfo),
    DispPropGet<&I::get_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", kUdpDispWinsockLoaded),
    DispPropPut<&I::put_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", kUdpDispWinsockLoaded),
    DispPropGet<&I::get_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                kUdpDispWinsockMaxDatagramSize),
    DispPropPut<&I::put_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                kUdpDispWinsockMaxDatagramSize),
    DispPropGet<&I::get_WinsockMaxSockets>(u"WinsockMaxSockets", kUdpDispWinsockMaxSockets),
    DispPropPut<&I::put_WinsockMaxSockets>(u"WinsockMaxSockets", kUdpDispWinsockMaxSockets),
    DispPropGet<&I::get_WinsockPath>(u"WinsockPath", kUdpDispWinsockPath),
    DispPropPut<&I::put_WinsockPath>(u"WinsockPath", kUdpDispWinsockPath),
    DispPropGet<&I::get_WinsockStatus>(u"WinsockStatus", kUdpDispWinsockStatus),
    DispPropPut<&I::put_WinsockStatus>(u"WinsockStatus", kUdpDispWinsockStatus),
    DispPropGet<&I::get_DataToSendB>(u"DataToSendB", kUdpDispDataToSendB),
    DispPropPut<&I::put_DataToSendB>(u"DataToSendB", kUdpDispDataToSendB),
    DispPropGet<&I::get_DataInDatagramB>(u"DataInDatagramB", kUdpDispDataInDatagramB),
    DispPropPut<&I::put_DataInDatagramB>(u"DataInDatagramB", kUdpDispDataInDatagramB),
    DispMethod<&I::AboutBox>(u"AboutBox", DISPID_ABOUTBOX),
    DispMethod<&I::DoEvents>(u"DoEvents", DISPID_DOEVENTS),
    DispMethod<&I::OnStartPage>(u"OnStartPage", kUdpDispOnStartPage),
    DispMethod<&I::OnEndPage>(u"OnEndPage", kUdpDispOnEndPage),
};

constexpr DispMember kEvents[] = {
    DispEvent(u"DataIn", kUdpEventDataIn, {VT_BSTR, VT_BSTR, VT_I2}),
    DispEvent(u"Error", kUdpEventError, {VT_I2, VT_BSTR}),
    DispEvent(u"ReadyToSend", kUdpEventReadyToSend, {}),
};

constexpr DispInterface kDual = {IID_IUDPPort, u"IUDPPort", kDispDual, kMembers,
                                 sizeof kMembers / sizeof kMembers[0]};
constexpr DispInterface kEventInterface = {DIID__IUDPPortEvents, u"_IUDPPortEvents", kDispSource,
                                           kEvents, sizeof kEvents / sizeof kEvents[0]};
constexpr CoclassInfo kCoclass = {CLSID_UDPPort, u"UDPPort", &kDual, &kEventInterface};
constexpr TypeLibInfo kTypeLib = {LIBID_UDPPORTLib, u"UDPPORTLib", 1, 0, &kCoclass};

constexpr PersistedProperty kPersisted[] = {
    {u"InBufferSize", kUdpDispInBufferSize},   {u"LocalPort", kUdpDispLocalPort},
    {u"MaxPacketSize", kUdpDispMaxPacketSize}, {u"OutBufferSize", kUdpDispOutBufferSize},
    {u"RemoteHost", kUdpDispRemoteHost},       {u"RemotePort", kUdpDispRemotePort},
    {u"UseConnection", kUdpDispUseConnection}, {u"WinsockLoaded", kUdpDispWinsockLoaded},
};

// The toolbox picture: two arrows crossing on grey, drawn at compile time.
constexpr auto kBitmap = [] {
    std::array<uint32_t, kBitmapWidth * kBitmapHeight> pixels{};
    for (int y = 0; y < kBitmapHeight; ++y) {
        for (int x = 0; x < kBitmapWidth; ++x) {
            bool arrow = (y == 4 && x >= 2 && x <= 13) || (y == 10 && x >= 2 && x <= 13) ||
                         (x == 12 - y + 4 && y < 7) || (x == y - 7 && y > 7);
            pixels[y * kBitmapWidth + x] = arrow ? 0xFF000080 : 0xFFC0C0C0;
        }
    }
    return pixels;
}();

const ControlClassInfo kClass = {
    kUdpPortProgId,     kUdpPortIndependentProgId,
    u"UDPPort Control", &kTypeLib,
    kPersisted,         sizeof kPersisted / sizeof kPersisted[0],
    u"tarnel.hlp",      kInvisibleControlMiscStatus,
    kBitmap.data(),     &CreateControl<UdpPort>,
};

}  // namespace

const ControlClassInfo& UdpPortClass() {
    return kClass;
}

}  // namespace quenda

QUENDA_CONTROL_LIBRARY_EXPORTS(quenda::UdpPortClass())
