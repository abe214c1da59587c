// The Pellin library: the type tables and class of ICMPPort, and the four exported entry points.
#include <array>

#include "controls/icmpport/icmp_port.h"

namespace quenda {
namespace {

using I = IICMPPort;

constexpr DispMember kMembers[] = {
    DispPropGet<&I::get_AcceptData, VT_BOOL>(u"AcceptData", kIcmpDispAcceptData),
    DispPropPut<&I::put_AcceptData, VT_BOOL>(u"AcceptData", kIcmpDispAcceptData),
    DispPropGet<&I::get_Active, VT_BOOL>(u"Active", kIcmpDispActive),
    DispPropPut<&I::put_Active, VT_BOOL>(u"Active", kIcmpDispActive),
    DispPropGet<&I::get_DataToSend>(u"DataToSend", kIcmpDispDataToSend),
    DispPropPut<&I::put_DataToSend>(u"DataToSend", kIcmpDispDataToSend),
    DispPropGet<&I::get_DontRoute, VT_BOOL>(u"DontRoute", kIcmpDispDontRoute),
    DispPropPut<&I::put_DontRoute, VT_BOOL>(u"DontRoute", kIcmpDispDontRoute),
    DispPropGet<&I::get_InBufferSize>(u"InBufferSize", kIcmpDispInBufferSize),
    DispPropPut<&I::put_InBufferSize>(u"InBufferSize", kIcmpDispInBufferSize),
    DispPropGet<&I::get_LocalHost>(u"LocalHost", kIcmpDispLocalHost),
    DispPropPut<&I::put_LocalHost>(u"LocalHost", kIcmpDispLocalHost),
    DispPropGet<&I::get_MaxMessageSize>(u"MaxMessageSize", kIcmpDispMaxMessageSize),
    DispPropPut<&I::put_MaxMessageSize>(u"MaxMessageSize", kIcmpDispMaxMessageSize),
    DispPropGet<&I::get_MessageSubType>(u"MessageSubType", kIcmpDispMessageSubType),
    DispPropPut<&I::put_MessageSubType>(u"MessageSubType", kIcmpDispMessageSubType),
    DispPropGet<&I::get_MessageType>(u"MessageType", kIcmpDispMessageType),
    DispPropPut<&I::put_MessageType>(u"MessageType", kIcmpDispMessageType),
    DispPropGet<&I::get_OutBufferSize>(u"OutBufferSize", kIcmpDispOutBufferSize),
    DispPropPut<&I::put_OutBufferSize>(u"OutBufferSize", kIcmpDispOutBufferSize),
    DispPropGet<&I::get_RemoteHost>(u"RemoteHost", kIcmpDispRemoteHost),
    DispPropPut<&I::put_RemoteHost>(u"RemoteHost", kIcmpDispRemoteHost),
    DispPropGet<&I::get_SocketHandle>(u"SocketHandle", kIcmpDispSocketHandle),
    DispPropPut<&I::put_SocketHandle>(u"SocketHandle", kIcmpDispSocketHandle),
    DispPropGet<&I::get_TimeToLive>(u"TimeToLive", kIcmpDispTimeToLive),
    DispPropPut<&I::put_TimeToLive>(u"TimeToLive", kIcmpDispTimeToLive),
    DispPropGet<&I::get_UseConnection, VT_BOOL>(u"UseConnection", kIcmpDispUseConnection),
    DispPropPut<&I::put_UseConnection, VT_BOOL>(u"UseConnection", kIcmpDispUseConnection),
    DispPropGet<&I::get_WinsockInfo>(u"WinsockInfo", kIcmpDispWinsockInfo),
    DispPropPut<&I::put_WinsockInfo>(u"WinsockInfo", kIcmpDispWinsockInfo),
    DispPropGet<&I::get_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", kIcmpDispWinsockLoaded),
    DispPropPut<&I::put_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", kIcmpDispWinsockLoaded),
    DispPropGet<&I::get_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                kIcmpDispWinsockMaxDatagramSize),
    DispPropPut<&I::put_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                kIcmpDispWinsockMaxDatagramSize),
    DispPropGet<&I::get_WinsockMaxSockets>(u"WinsockMaxSockets", kIcmpDispWinsockMaxSockets),
    DispPropPut<&I::put_WinsockMaxSockets>(u"WinsockMaxSockets", kIcmpDispWinsockMaxSockets),
    DispPropGet<&I::get_WinsockPath>(u"WinsockPath", kIcmpDispWinsockPath),
    DispPropPut<&I::put_WinsockPath>(u"WinsockPath", kIcmpDispWinsockPath),
    DispPropGet<&I::get_WinsockStatus>(u"WinsockStatus", kIcmpDispWinsockStatus),
    DispPropPut<&I::put_WinsockStatus>(u"WinsockStatus", kIcmpDispWinsockStatus),
    DispPropGet<&I::get_DataToSendB>(u"DataToSendB", kIcmpDispDataToSendB),
    DispPropPut<&I::put_DataToSendB>(u"DataToSendB", kIcmpDispDataToSendB),
    DispPropGet<&I::get_DataInMessageDataB>(u"DataInMessageDataB", kIcmpDispDataInMessageDataB),
    DispPropPut<&I::put_DataInMessageDataB>(u"DataInMessageDataB", kIcmpDispDataInMessageDataB),
    DispMethod<&I::AboutBox>(u"AboutBox", DISPID_ABOUTBOX),
    DispMethod<&I::DoEvents>(u"DoEvents", DISPID_DOEVENTS),
    DispMethod<&I::OnStartPage>(u"OnStartPage", kIcmpDispOnStartPage),
    DispMethod<&I::OnEndPage>(u"OnEndPage", kIcmpDispOnEndPage),
};

constexpr DispMember kEvents[] = {
    DispEvent(u"DataIn", kIcmpEventDataIn, {VT_I2, VT_I2, VT_BSTR, VT_I2, VT_BSTR}),
    DispEvent(u"Error", kIcmpEventError, {VT_I2, VT_BSTR}),
    DispEvent(u"ReadyToSend", kIcmpEventReadyToSend, {}),
};

constexpr DispInterface kDual = {IID_IICMPPort, u"IICMPPort", kDispDual, kMembers,
                                 sizeof kMembers / sizeof kMembers[0]};
constexpr DispInterface kEventInterface = {DIID__IICMPPortEvents, u"_IICMPPortEvents", kDispSource,
                                           kEvents, sizeof kEvents / sizeof kEvents[0]};
constexpr CoclassInfo kCoclass = {CLSID_ICMPPort, u"ICMPPort", &kDual, &kEventInterface};
constexpr TypeLibInfo kTypeLib = {LIBID_ICMPPORTLib, u"ICMPPORTLib", 1, 0, &kCoclass};

// TimeToLive is deliberately absent: it belongs to the run, not to the saved form.
constexpr PersistedProperty kPersisted[] = {
    {u"InBufferSize", kIcmpDispInBufferSize},     {u"MaxMessageSize", kIcmpDispMaxMessageSize},
    {u"MessageSubType", kIcmpDispMessageSubType}, {u"MessageType", kIcmpDispMessageType},
    {u"OutBufferSize", kIcmpDispOutBufferSize},   {u"RemoteHost", kIcmpDispRemoteHost},
    {u"UseConnection", kIcmpDispUseConnection},   {u"WinsockLoaded", kIcmpDispWinsockLoaded},
};

// The toolbox picture: an echo, one arrow out and one back, on grey, drawn at compile time.
constexpr auto kBitmap = [] {
    std::array<uint32_t, kBitmapWidth * kBitmapHeight> pixels{};
    for (int y = 0; y < kBitmapHeight; ++y) {
        for (int x = 0; x < kBitmapWidth; ++x) {
            bool out = (y == 4 && x >= 2 && x <= 13) || (x == 13 - (4 - y) && y >= 2 && y < 4) ||
                       (x == 13 - (y - 4) && y > 4 && y <= 6);
            bool back = (y == 10 && x >= 2 && x <= 13) || (x == 2 + (10 - y) && y >= 8 && y < 10) ||
                        (x == 2 + (y - 10) && y > 10 && y <= 12);
            pixels[y * kBitmapWidth + x] = out ? 0xFF000080 : back ? 0xFF008000 : 0xFFC0C0C0;
        }
    }
    return pixels;
}();

const ControlClassInfo kClass = {
    kIcmpPortProgId,     kIcmpPortIndependentProgId,
    u"ICMPPort Control", &kTypeLib,
    kPersisted,          sizeof kPersisted / sizeof kPersisted[0],
    u"pellin.hlp",       kInvisibleControlMiscStatus,
    kBitmap.data(),      &CreateControl<IcmpPort>,
};

}  // namespace

const ControlClassInfo& IcmpPortClass() {
    return kClass;
}

}  // namespace quenda

QUENDA_CONTROL_LIBRARY_EXPORTS(quenda::IcmpPortClass())
