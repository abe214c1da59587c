// The Tarnel library: the type tables and class of UDPPort, and the four exported entry points.
#include <array>

#include "controls/udpport/udp_port.h"

namespace quenda {
namespace {

using I = IUDPPort;

constexpr auto kMembers = JoinRows(
    SocketMemberRows<I>(kUdpSocketDispids),
    std::array{
        DispPropGet<&I::get_LocalPort>(u"LocalPort", kUdpDispLocalPort),
        DispPropPut<&I::put_LocalPort>(u"LocalPort", kUdpDispLocalPort),
        DispPropGet<&I::get_MaxPacketSize>(u"MaxPacketSize", kUdpDispMaxPacketSize),
        DispPropPut<&I::put_MaxPacketSize>(u"MaxPacketSize", kUdpDispMaxPacketSize),
        DispPropGet<&I::get_RemotePort>(u"RemotePort", kUdpDispRemotePort),
        DispPropPut<&I::put_RemotePort>(u"RemotePort", kUdpDispRemotePort),
        DispPropGet<&I::get_ShareLocalPort, VT_BOOL>(u"ShareLocalPort", kUdpDispShareLocalPort),
        DispPropPut<&I::put_ShareLocalPort, VT_BOOL>(u"ShareLocalPort", kUdpDispShareLocalPort),
        DispPropGet<&I::get_DataInDatagramB>(u"DataInDatagramB", kUdpDispDataInDatagramB),
        DispPropPut<&I::put_DataInDatagramB>(u"DataInDatagramB", kUdpDispDataInDatagramB),
    });

constexpr DispMember kEvents[] = {
    DispEvent(u"DataIn", kUdpEventDataIn, {VT_BSTR, VT_BSTR, VT_I2}),
    DispEvent(u"Error", kUdpEventError, {VT_I2, VT_BSTR}),
    DispEvent(u"ReadyToSend", kUdpEventReadyToSend, {}),
};

constexpr DispInterface kDual = {IID_IUDPPort, u"IUDPPort", kDispDual, kMembers.data(),
                                 static_cast<uint32_t>(kMembers.size())};
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
