// UDPPort: one IPv4 datagram socket bound to a local port, sending a datagram on every
// DataToSend and raising DataIn for every datagram that arrives.
#include "controls/udpport/udp_port.h"

#include <new>

#include "platform/com/connection_point.h"

namespace quenda {
namespace {

// Datagrams one read notification delivers at most.
constexpr int kDatagramsPerNotification = 16;

const char* CodeMessage(int code) {
    switch (code) {
        case kUdpAlreadyActive:
            return "UDPPort is already Active.";
        case kUdpLocalPortActive:
            return "You cannot change the LocalPort while the control is Active.";
        case kUdpLocalHostActive:
            return "Cannot change LocalHost while the control is Active.";
        case kUdpNotActive:
            return "The control must be Active for this operation.";
        case kUdpMaxPacketSizeActive:
            return "Cannot change MaxPacketSize while the control is Active.";
        case kUdpRemoteHostConnected:
            return "Cannot change RemoteHost when UseConnection is set and the control is Active.";
        case kUdpRemotePortConnected:
            return "Cannot change RemotePort when UseConnection is set and the control is Active.";
        case kUdpRemotePortZero:
            return "RemotePort can't be zero when UseConnection is set. Please specify a valid "
                   "service port number.";
        case kUdpUseConnectionActive:
            return "Cannot change UseConnection option while the control is Active.";
        case kCodeOutOfMemory:
            return "Out of memory.";
        default:
            return nullptr;
    }
}

constexpr SocketControlTraits kTraits = {
    kUdpNotifyMessage,  kUdpHelpBase,
    &kUdpSocketDispids, "UDPPort control of the Tarnel library: IPv4 datagrams for Quenda.",
    &CodeMessage,
};

}  // namespace

UdpPort::UdpPort() : SocketControl(UdpPortClass(), kTraits) {
    put_InBufferSize(kSocketDefaultBufferSize);
    put_LocalPort(0);
    put_MaxPacketSize(kSocketDefaultBufferSize);
    put_OutBufferSize(kSocketDefaultBufferSize);
    put_RemoteHost(nullptr);
    put_RemotePort(0);
    put_UseConnection(VARIANT_FALSE);
    put_WinsockLoaded(VARIANT_TRUE);
}

UdpPort::~UdpPort() = default;

int UdpPort::Open() {
    if (int code = BeginOpen()) return code;
    if (remotePort_ == 0 && useConnection_) {
        core_.Reset();
        return Fail(kUdpRemotePortZero);
    }
    const WinsockApi* ws = core_.Api();
    SOCKET s = ws != nullptr ? ws->socket(WS_AF_INET, WS_SOCK_DGRAM, 0) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) {
        int error = core_.LastWinsockError();
        core_.Reset();
        return error;
    }
    core_.SetSocket(s);
    if (shareLocalPort_) core_.SetOption(WS_SOL_SOCKET, WS_SO_REUSEADDR, 1);
    WS_sockaddr_in local{};
    local.sin_family = WS_AF_INET;
    local.sin_port = ws->htons(localPort_);
    local.sin_addr.s_addr = core_.LocalAddress();
    bool ok =
        ws->bind(s, reinterpret_cast<const WS_sockaddr*>(&local), sizeof local) != SOCKET_ERROR;
    if (ok) {
        // Buffer sizes and routing are wishes at this point; the socket works without them.
        core_.SetOption(WS_SOL_SOCKET, WS_SO_RCVBUF, inBufferSize_);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_SNDBUF, outBufferSize_);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_DONTROUTE, dontRoute_ ? 1 : 0);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_BROADCAST, 1);
    }
    if (ok) return FinishOpen(*ws, s, RemoteName(*ws));
    int error = ws->WSAGetLastError();
    core_.Reset();
    return error;
}

int UdpPort::CloseSocket() {
    return CloseDraining();
}

void UdpPort::ReadLoop(ReadMode mode) {
    for (int delivered = 0; ReadRoundMayStart(mode); ++delivered) {
        // A socket that never runs dry must not starve the others or the timers: after a
        // share it gives way, queueing a notice of its own to come back in turn (a handler
        // that let messages run may have taken the socket's own notice inside the event).
        if (mode == ReadMode::kNotification && delivered == kDatagramsPerNotification) {
            core_.PostRead();
            return;
        }
        uint32_t address = remoteAddress_;
        uint16_t port = remotePort_;
        int got = ReadOne(useConnection_, &address, &port);
        if (got == SOCKET_ERROR) return;
        // An empty datagram carries nothing to deliver; it must not close a serving socket.
        if (got == 0) continue;
        RaiseDataIn(core_.Buffer().Held(), address, port);
    }
}

void UdpPort::RaiseDataIn(std::string_view datagram, uint32_t address, uint16_t port) {
    EventArgs args;
    bool built = false;
    try {
        args.AddLatin1(datagram);
        args.AddLatin1(core_.DottedAddress(address));
        args.AddI2(static_cast<int16_t>(port));
        built = args.Value(0).bstrVal != nullptr;
    } catch (const std::bad_alloc&) {
        built = false;
    }
    SocketControl::RaiseDataIn(kUdpEventDataIn, args, built, datagram);
}

int UdpPort::Send(std::string_view bytes) {
    if (!core_.IsOpen()) return Fail(kSocketNotActive);
    if (bytes.empty()) return 0;
    const WinsockApi* ws = core_.Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    return SendTo(*ws, bytes, RemoteName(*ws));
}

bool UdpPort::BoundName(WS_sockaddr_in* bound) const {
    const WinsockApi* ws = core_.Api();
    if (!core_.IsOpen() || ws == nullptr) return false;
    int length = sizeof *bound;
    return ws->getsockname(core_.Socket(), reinterpret_cast<WS_sockaddr*>(bound), &length) !=
           SOCKET_ERROR;
}

WS_sockaddr_in UdpPort::RemoteName(const WinsockApi& ws) const {
    WS_sockaddr_in remote{};
    remote.sin_family = WS_AF_INET;
    remote.sin_port = ws.htons(remotePort_);
    remote.sin_addr.s_addr = remoteAddress_;
    return remote;
}

HRESULT UdpPort::get_LocalHost(BSTR* value) {
    WS_sockaddr_in bound{};
    std::string text =
        BoundName(&bound) ? core_.DottedAddress(bound.sin_addr.s_addr) : core_.LocalHostText();
    return OutText(text, value, HelpOf(kUdpDispLocalHost));
}

HRESULT UdpPort::get_LocalPort(int32_t* value) {
    WS_sockaddr_in bound{};
    if (BoundName(&bound))
        return OutValue(static_cast<int32_t>(core_.Api()->ntohs(bound.sin_port)), value);
    return OutValue(static_cast<int32_t>(localPort_), value);
}

HRESULT UdpPort::put_LocalPort(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpLocalPortActive), HelpOf(kUdpDispLocalPort));
    localPort_ = static_cast<uint16_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_MaxPacketSize(int32_t* value) {
    return OutValue(static_cast<int32_t>(core_.Buffer().Capacity()), value);
}

HRESULT UdpPort::put_MaxPacketSize(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpMaxPacketSizeActive), HelpOf(kUdpDispMaxPacketSize));
    if (!core_.Buffer().SetCapacity(static_cast<uint16_t>(value)))
        return Report(kCodeOutOfMemory, HelpOf(kUdpDispMaxPacketSize));
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_RemotePort(int32_t* value) {
    return OutValue(static_cast<int32_t>(remotePort_), value);
}

HRESULT UdpPort::put_RemotePort(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen() && useConnection_)
        return Report(Fail(kUdpRemotePortConnected), HelpOf(kUdpDispRemotePort));
    remotePort_ = static_cast<uint16_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_ShareLocalPort(VARIANT_BOOL* value) {
    if (!UserMode())
        return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispShareLocalPort));
    return OutBool(shareLocalPort_, value);
}

HRESULT UdpPort::put_ShareLocalPort(VARIANT_BOOL value) {
    core_.ClearMessage();
    shareLocalPort_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT UdpPort::get_DataInDatagramB(VARIANT* value) {
    return GetCurrentData(value, kUdpHelpDataInDatagramB);
}

HRESULT UdpPort::put_DataInDatagramB(VARIANT) {
    return ReportGuard(PropertyGuard::kReadOnly, kUdpHelpDataInDatagramB);
}

}  // namespace quenda
