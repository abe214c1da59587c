// UDPPort: one IPv4 datagram socket bound to a local port, sending a datagram on every
// DataToSend and raising DataIn for every datagram that arrives.
#include "controls/udpport/udp_port.h"

#include <new>

#include "controls/socketbase/byte_array.h"
#include "platform/com/connection_point.h"

namespace quenda {
namespace {

constexpr int32_t kDefaultBufferSize = 2048;
constexpr int kOutOfMemoryInEvent = 7;

constexpr uint32_t HelpOf(DISPID id) { return kUdpHelpBase + static_cast<uint32_t>(id) - 1; }
constexpr uint32_t kHelpDataToSendB = kUdpHelpBase;

const char* CodeMessage(int code) {
    switch (code) {
        case kUdpAlreadyActive: return "UDPPort is already Active.";
        case kUdpLocalPortActive: return "You cannot change the LocalPort while the control is Active.";
        case kUdpLocalHostActive: return "Cannot change LocalHost while the control is Active.";
        case kUdpNotActive: return "The control must be Active for this operation.";
        case kUdpMaxPacketSizeActive: return "Cannot change MaxPacketSize while the control is Active.";
        case kUdpRemoteHostConnected:
            return "Cannot change RemoteHost when UseConnection is set and the control is Active.";
        case kUdpRemotePortConnected:
            return "Cannot change RemotePort when UseConnection is set and the control is Active.";
        case kUdpRemotePortZero:
            return "RemotePort can't be zero when UseConnection is set. Please specify a valid service port number.";
        case kUdpUseConnectionActive: return "Cannot change UseConnection option while the control is Active.";
        case kCodeOutOfMemory: return "Out of memory.";
        default: return nullptr;
    }
}

constexpr SocketControlTraits kTraits = {
    kUdpNotifyMessage,
    HelpOf(kUdpDispWinsockInfo),
    "UDPPort control of the Tarnel library: IPv4 datagrams for Quenda.",
};

}  // namespace

UdpPort::UdpPort() : SocketControl(UdpPortClass(), kTraits) {
    put_InBufferSize(kDefaultBufferSize);
    put_LocalPort(0);
    put_MaxPacketSize(kDefaultBufferSize);
    put_OutBufferSize(kDefaultBufferSize);
    put_RemoteHost(nullptr);
    put_RemotePort(0);
    put_UseConnection(VARIANT_FALSE);
    put_WinsockLoaded(VARIANT_TRUE);
}

UdpPort::~UdpPort() = default;

int UdpPort::Fail(int code) {
    if (const char* text = CodeMessage(code)) core_.SetMessage(text);
    return code;
}

int UdpPort::Open() {
    core_.ClearMessage();
    if (core_.IsOpen()) return Fail(kUdpAlreadyActive);
    core_.SetClosePending(false);
    core_.Buffer().Clear();
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
    bool ok = ws->bind(s, reinterpret_cast<const WS_sockaddr*>(&local), sizeof local) != SOCKET_ERROR;
    if (ok) {
        // Buffer sizes and routing are wishes at this point; the socket works without them.
        core_.SetOption(WS_SOL_SOCKET, WS_SO_RCVBUF, inBufferSize_);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_SNDBUF, outBufferSize_);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_DONTROUTE, dontRoute_ ? 1 : 0);
        core_.SetOption(WS_SOL_SOCKET, WS_SO_BROADCAST, 1);
    }
    if (ok && useConnection_) {
        WS_sockaddr_in remote = RemoteName(*ws);
        ok = ws->connect(s, reinterpret_cast<const WS_sockaddr*>(&remote), sizeof remote) != SOCKET_ERROR ||
             ws->WSAGetLastError() == WSAEWOULDBLOCK;
    }
    if (ok) ok = ws->WSAAsyncSelect(s, core_.Window(), kUdpNotifyMessage, FD_READ | FD_WRITE) != SOCKET_ERROR;
    if (ok) return 0;
    int error = ws->WSAGetLastError();
    core_.Reset();
    return error;
}

int UdpPort::CloseSocket() { return CloseDraining(); }

void UdpPort::ReadLoop(ReadMode mode) {
    while (ReadRoundMayStart(mode)) {
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
    bool converted = false;
    try {
        EventArgs args;
        args.AddLatin1(datagram);
        args.AddLatin1(core_.DottedAddress(address));
        args.AddI2(static_cast<int16_t>(port));
        converted = args.Value(0).bstrVal != nullptr;
        if (converted) {
            // Events may nest (a handler pumping messages); each restores the one it interrupted.
            const char* outerData = currentData_;
            uint32_t outerLength = currentLength_;
            currentData_ = datagram.data();
            currentLength_ = static_cast<uint32_t>(datagram.size());
            FireEvent(kUdpEventDataIn, &args);
            currentData_ = outerData;
            currentLength_ = outerLength;
        }
    } catch (const std::bad_alloc&) {
        converted = false;
    }
    if (!converted) RaiseErrorEvent(kOutOfMemoryInEvent, "Out of memory while firing DataIn.");
}

int UdpPort::Send(std::string_view bytes) {
    if (!core_.IsOpen()) return Fail(kUdpNotActive);
    if (bytes.empty()) return 0;
    const WinsockApi* ws = core_.Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    int length = bytes.size() > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(bytes.size());
    int sent;
    if (useConnection_) {
        sent = ws->send(core_.Socket(), bytes.data(), length, 0);
    } else {
        WS_sockaddr_in to = RemoteName(*ws);
        sent = ws->sendto(core_.Socket(), bytes.data(), length, 0, reinterpret_cast<const WS_sockaddr*>(&to), sizeof to);
    }
    return sent == SOCKET_ERROR ? ws->WSAGetLastError() : 0;
}

HRESULT UdpPort::get_AcceptData(VARIANT_BOOL* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispAcceptData));
    return OutBool(core_.AcceptData(), value);
}

HRESULT UdpPort::put_AcceptData(VARIANT_BOOL value) {
    core_.ClearMessage();
    core_.SetAcceptData(value != VARIANT_FALSE);
    return S_OK;
}

HRESULT UdpPort::get_Active(VARIANT_BOOL* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispActive));
    return OutBool(core_.IsOpen(), value);
}

HRESULT UdpPort::put_Active(VARIANT_BOOL value) {
    Hold();  // closing raises DataIn for what is queued; a handler may let go of this control
    core_.ClearMessage();
    int code = value != VARIANT_FALSE ? Open() : CloseSocket();
    HRESULT hr = Report(code, HelpOf(kUdpDispActive));
    Unhold();
    return hr;
}

HRESULT UdpPort::get_DataToSend(BSTR* value) {
    if (value != nullptr) *value = nullptr;
    return ReportGuard(PropertyGuard::kWriteOnly, HelpOf(kUdpDispDataToSend));
}

HRESULT UdpPort::put_DataToSend(BSTR value) {
    core_.ClearMessage();
    std::string bytes;
    int code = TextArgument(value, &bytes);
    if (code == 0) code = Send(bytes);
    return Report(code, HelpOf(kUdpDispDataToSend));
}

HRESULT UdpPort::get_DontRoute(VARIANT_BOOL* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispDontRoute));
    return OutBool(dontRoute_, value);
}

HRESULT UdpPort::put_DontRoute(VARIANT_BOOL value) {
    core_.ClearMessage();
    dontRoute_ = value != VARIANT_FALSE;
    return Report(core_.SetOption(WS_SOL_SOCKET, WS_SO_DONTROUTE, dontRoute_ ? 1 : 0), HelpOf(kUdpDispDontRoute));
}

HRESULT UdpPort::get_InBufferSize(int32_t* value) { return OutValue(inBufferSize_, value); }

HRESULT UdpPort::PutBufferSize(int32_t* size, int option, int32_t value, uint32_t helpContext) {
    core_.ClearMessage();
    *size = value;  // kept as asked even when the socket refuses it
    MarkDirty();
    return Report(core_.SetOption(WS_SOL_SOCKET, option, value), helpContext);
}

HRESULT UdpPort::put_InBufferSize(int32_t value) {
    return PutBufferSize(&inBufferSize_, WS_SO_RCVBUF, value, HelpOf(kUdpDispInBufferSize));
}

bool UdpPort::BoundName(WS_sockaddr_in* bound) const {
    const WinsockApi* ws = core_.Api();
    if (!core_.IsOpen() || ws == nullptr) return false;
    int length = sizeof *bound;
    return ws->getsockname(core_.Socket(), reinterpret_cast<WS_sockaddr*>(bound), &length) != SOCKET_ERROR;
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
    std::string text = BoundName(&bound) ? core_.DottedAddress(bound.sin_addr.s_addr) : core_.LocalHostText();
    return OutText(text, value, HelpOf(kUdpDispLocalHost));
}

HRESULT UdpPort::put_LocalHost(BSTR value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpLocalHostActive), HelpOf(kUdpDispLocalHost));
    std::string text;
    int code = TextArgument(value, &text);
    if (code == 0) code = core_.SetLocalHost(text);
    return Report(code, HelpOf(kUdpDispLocalHost));
}

HRESULT UdpPort::get_LocalPort(int32_t* value) {
    WS_sockaddr_in bound{};
    if (BoundName(&bound)) return OutValue(static_cast<int32_t>(core_.Api()->ntohs(bound.sin_port)), value);
    return OutValue(static_cast<int32_t>(localPort_), value);
}

HRESULT UdpPort::put_LocalPort(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpLocalPortActive), HelpOf(kUdpDispLocalPort));
    localPort_ = static_cast<uint16_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_MaxPacketSize(int32_t* value) { return OutValue(static_cast<int32_t>(core_.Buffer().Capacity()), value); }

HRESULT UdpPort::put_MaxPacketSize(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpMaxPacketSizeActive), HelpOf(kUdpDispMaxPacketSize));
    if (!core_.Buffer().SetCapacity(static_cast<uint16_t>(value))) return Report(kCodeOutOfMemory, HelpOf(kUdpDispMaxPacketSize));
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_OutBufferSize(int32_t* value) { return OutValue(outBufferSize_, value); }

HRESULT UdpPort::put_OutBufferSize(int32_t value) {
    return PutBufferSize(&outBufferSize_, WS_SO_SNDBUF, value, HelpOf(kUdpDispOutBufferSize));
}

HRESULT UdpPort::get_RemoteHost(BSTR* value) {
    return OutText(remoteAddress_ != 0 ? core_.DottedAddress(remoteAddress_) : std::string(), value, HelpOf(kUdpDispRemoteHost));
}

HRESULT UdpPort::put_RemoteHost(BSTR value) {
    core_.ClearMessage();
    if (core_.IsOpen() && useConnection_) return Report(Fail(kUdpRemoteHostConnected), HelpOf(kUdpDispRemoteHost));
    std::string text;
    int code = TextArgument(value, &text);
    if (code != 0) return Report(code, HelpOf(kUdpDispRemoteHost));
    MarkDirty();
    code = core_.ResolveRemoteHost(text, &remoteAddress_);
    return Report(code, HelpOf(kUdpDispRemoteHost));
}

HRESULT UdpPort::get_RemotePort(int32_t* value) { return OutValue(static_cast<int32_t>(remotePort_), value); }

HRESULT UdpPort::put_RemotePort(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen() && useConnection_) return Report(Fail(kUdpRemotePortConnected), HelpOf(kUdpDispRemotePort));
    remotePort_ = static_cast<uint16_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_ShareLocalPort(VARIANT_BOOL* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispShareLocalPort));
    return OutBool(shareLocalPort_, value);
}

HRESULT UdpPort::put_ShareLocalPort(VARIANT_BOOL value) {
    core_.ClearMessage();
    shareLocalPort_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT UdpPort::get_SocketHandle(int32_t* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kUdpDispSocketHandle));
    return OutValue(core_.IsOpen() ? static_cast<int32_t>(core_.Socket()) : -1, value);
}

HRESULT UdpPort::put_SocketHandle(int32_t) { return ReportGuard(PropertyGuard::kReadOnly, HelpOf(kUdpDispSocketHandle)); }

HRESULT UdpPort::get_UseConnection(VARIANT_BOOL* value) { return OutBool(useConnection_, value); }

HRESULT UdpPort::put_UseConnection(VARIANT_BOOL value) {
    core_.ClearMessage();
    if (core_.IsOpen()) return Report(Fail(kUdpUseConnectionActive), HelpOf(kUdpDispUseConnection));
    useConnection_ = value != VARIANT_FALSE;
    MarkDirty();
    return S_OK;
}

HRESULT UdpPort::get_DataToSendB(VARIANT* value) {
    if (value != nullptr) VariantInit(value);
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, kHelpDataToSendB);
    return ReportGuard(PropertyGuard::kWriteOnly, kHelpDataToSendB);
}

HRESULT UdpPort::put_DataToSendB(VARIANT value) {
    core_.ClearMessage();
    std::string bytes;
    if (!BytesOfByteArray(value, &bytes)) return ReportGuard(PropertyGuard::kByteArray, kHelpDataToSendB);
    return Report(Send(bytes), kHelpDataToSendB);
}

HRESULT UdpPort::get_DataInDatagramB(VARIANT* value) {
    if (value == nullptr) return E_POINTER;
    VariantInit(value);
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, kUdpHelpDataInDatagramB);
    if (currentData_ == nullptr) return S_OK;
    if (!ByteVariantArray(std::string_view(currentData_, currentLength_), value)) {
        return ReportCode(kCodeOutOfMemory, nullptr, kUdpHelpDataInDatagramB);
    }
    return S_OK;
}

HRESULT UdpPort::put_DataInDatagramB(VARIANT) { return ReportGuard(PropertyGuard::kReadOnly, kUdpHelpDataInDatagramB); }

}  // namespace quenda
