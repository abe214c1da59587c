// The Pellin library: the type tables and class of ICMPPort, and the four exported entry points.
#include <array>

#include "controls/icmpport/icmp_port.h"

namespace quenda {
namespace {

using I = IICMPPort;

constexpr auto kMembers = JoinRows(
    SocketMemberRows<I>(kIcmpSocketDispids),
    std::array{
        DispPropGet<&I::get_MaxMessageSize>(u"MaxMessageSize", kIcmpDispMaxMessageSize),
        DispPropPut<&I::put_MaxMessageSize>(u"MaxMessageSize", kIcmpDispMaxMessageSize),
        DispPropGet<&I::get_MessageSubType>(u"MessageSubType", kIcmpDispMessageSubType),
        DispPropPut<&I::put_MessageSubType>(u"MessageSubType", kIcmpDispMessageSubType),
        DispPropGet<&I::get_MessageType>(u"MessageType", kIcmpDispMessageType),
        DispPropPut<&I::put_MessageType>(u"MessageType", kIcmpDispMessageType),
        DispPropGet<&I::get_TimeToLive>(u"TimeToLive", kIcmpDispTimeToLive),
        DispPropPut<&I::put_TimeToLive>(u"TimeToLive", kIcmpDispTimeToLive),
        DispPropGet<&I::get_DataInMessageDataB>(u"DataInMessageDataB", kIcmpDispDataInMessageDataB),
        DispPropPut<&I::put_DataInMessageDataB>(u"DataInMessageDataB", kIcmpDispDataInMessageDataB),
    });

constexpr DispMember kEvents[] = {
    DispEvent(u"DataIn", kIcmpEventDataIn, {VT_I2, VT_I2, VT_BSTR, VT_I2, VT_BSTR}),
    DispEvent(u"Error", kIcmpEventError, {VT_I2, VT_BSTR}),
    DispEvent(u"ReadyToSend", kIcmpEventReadyToSend, {}),
};

constexpr DispInterface kDual = {IID_IICMPPort, u"IICMPPort", kDispDual, kMembers.data(),
                                 static_cast<uint32_t>(kMembers.size())};
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
