// ICMPPort: one raw IPv4 ICMP socket, sending one framed ICMP message on every DataToSend and
// raising DataIn for every ICMP message that reaches the socket.
#include "controls/icmpport/icmp_port.h"

#include <algorithm>
#include <new>
#include <string>

#include "controls/icmpport/icmp_message.h"
#include "platform/com/connection_point.h"

namespace quenda {
namespace {

constexpr int32_t kDefaultMaxMessageSize = 2048;
constexpr char kTooShortText[] = "Message too short.";
// A read also takes the packet's IPv4 header; no IPv4 packet is longer than this.
constexpr size_t kLargestIpv4Packet = 65535;

const char* CodeMessage(int code) {
    switch (code) {
        case kIcmpAlreadyActive:
            return "ICMPPort is already Active.";
        case kIcmpLocalHostActive:
            return "Cannot change LocalHost when ICMPPort is Active.";
        case kIcmpNotActive:
            return "ICMPPort must be Active for this operation.";
        // The trailing blank and the old property name are what hosts have always been shown.
        case kIcmpMaxMessageSizeActive:
            return "Cannot change MaxPacketSize while ICMPPort is Active. ";
        case kIcmpRemoteHostConnected:
            return "Cannot change RemoteHost when UseConnection is set and ICMPPort is Active.";
        case kIcmpUseConnectionActive:
            return "Cannot change UseConnection option while ICMPPort is Active.";
        case kIcmpMessageTooLong:
            return "Message can't be longer than MaxMessageSize.";
        case kCodeOutOfMemory:
            return "Out of memory.";
        default:
            return nullptr;
    }
}

constexpr SocketControlTraits kTraits = {
    kIcmpNotifyMessage,  kIcmpHelpBase,
    &kIcmpSocketDispids, "ICMPPort control of the Pellin library: ICMP messages for Quenda.",
    &CodeMessage,
};

}  // namespace

IcmpPort::IcmpPort() : SocketControl(IcmpPortClass(), kTraits) {
    put_InBufferSize(kSocketDefaultBufferSize);
    put_MaxMessageSize(kDefaultMaxMessageSize);
    put_MessageSubType(0);
    put_MessageType(0);
    put_OutBufferSize(kSocketDefaultBufferSize);
    put_RemoteHost(nullptr);
    put_UseConnection(VARIANT_FALSE);
    put_WinsockLoaded(VARIANT_TRUE);
}

IcmpPort::~IcmpPort() = default;

int IcmpPort::ApplyTimeToLive() {
    int error = core_.SetOption(WS_IPPROTO_IP, WS_IP_TTL, timeToLive_);
    int32_t actual = 0;
    if (error != 0 && core_.GetOption(WS_IPPROTO_IP, WS_IP_TTL, &actual))
        timeToLive_ = static_cast<uint16_t>(actual);
    return error;
}

WS_sockaddr_in IcmpPort::RemoteName() const {
    WS_sockaddr_in remote{};
    remote.sin_family = WS_AF_INET;
    remote.sin_addr.s_addr = remoteAddress_;
    return remote;
}

int IcmpPort::Open() {
    if (int code = BeginOpen()) return code;
    const WinsockApi* ws = core_.Api();
    SOCKET s =
        ws != nullptr ? ws->socket(WS_AF_INET, WS_SOCK_RAW, WS_IPPROTO_ICMP) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) {
        // Without the right to raw sockets this is 10013.
        int error = core_.LastWinsockError();
        core_.Reset();
        return error;
    }
    core_.SetSocket(s);
    // Buffer sizes, routing and the time to live are wishes here; the socket works without them.
    core_.SetOption(WS_SOL_SOCKET, WS_SO_RCVBUF, inBufferSize_);
    core_.SetOption(WS_SOL_SOCKET, WS_SO_SNDBUF, outBufferSize_);
    core_.SetOption(WS_SOL_SOCKET, WS_SO_DONTROUTE, dontRoute_ ? 1 : 0);
    if (timeToLive_ != 0) ApplyTimeToLive();
    core_.SetOption(WS_SOL_SOCKET, WS_SO_BROADCAST, 1);
    return FinishOpen(*ws, s, RemoteName());
}

int IcmpPort::CloseSocket() {
    return CloseDraining();
}

void IcmpPort::ReadLoop(ReadMode mode) {
    while (ReadRoundMayStart(mode)) {
        uint32_t address = remoteAddress_;
        uint16_t port = 0;  // ICMP has none
        int got = ReadOne(useConnection_, &address, &port);
        if (got == SOCKET_ERROR) return;
        // An empty read carries nothing to deliver; it must not close the socket.
        if (got == 0) continue;
        if (!Deliver(IcmpMessageOfPacket(core_.Buffer().Held()), address)) return;
    }
}

bool IcmpPort::Deliver(std::string_view message, uint32_t address) {
    if (message.size() < kIcmpHeaderSize) {
        RaiseErrorEvent(kIcmpMessageTooShort, kTooShortText);
        return false;
    }
    RaiseDataIn(message, address);
    return true;
}

void IcmpPort::RaiseDataIn(std::string_view message, uint32_t address) {
    std::string_view data = message.substr(kIcmpHeaderSize);
    EventArgs args;
    bool built = false;
    try {
        args.AddI2(static_cast<uint8_t>(message[0]));
        args.AddI2(static_cast<uint8_t>(message[1]));
        args.AddLatin1(data);
        args.AddI2(IcmpChecksumIntact(message) ? 1 : 0);
        args.AddLatin1(core_.DottedAddress(address));
        built = args.Value(2).bstrVal != nullptr && args.Value(4).bstrVal != nullptr;
    } catch (const std::bad_alloc&) {
        built = false;
    }
    SocketControl::RaiseDataIn(kIcmpEventDataIn, args, built, data);
}

int IcmpPort::Send(std::string_view data) {
    if (!core_.IsOpen()) return Fail(kSocketNotActive);
    if (data.size() > maxMessageSize_) return Fail(kIcmpMessageTooLong);
    const WinsockApi* ws = core_.Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    // Built apart from the receive buffer, so a send from inside DataIn leaves the message
    // being delivered (DataInMessageDataB) intact.
    std::string message;
    try {
        message = BuildIcmpMessage(messageType_, messageCode_, data);
    } catch (const std::bad_alloc&) {
        return kCodeOutOfMemory;
    }
    return SendTo(*ws, message, RemoteName());
}

HRESULT IcmpPort::get_LocalHost(BSTR* value) {
    return OutText(core_.LocalHostText(), value, HelpOf(kIcmpDispLocalHost));
}

HRESULT IcmpPort::get_MaxMessageSize(int32_t* value) {
    return OutValue(static_cast<int32_t>(maxMessageSize_), value);
}

HRESULT IcmpPort::put_MaxMessageSize(int32_t value) {
    core_.ClearMessage();
    if (core_.IsOpen())
        return Report(Fail(kIcmpMaxMessageSizeActive), HelpOf(kIcmpDispMaxMessageSize));
    // The message (header and data) is kept to 16 bits like every buffer capacity; a size that
    // leaves no room for the header would read back negative, so it is refused.
    uint16_t capacity = static_cast<uint16_t>(static_cast<uint32_t>(value) + kIcmpHeaderSize);
    if (capacity < kIcmpHeaderSize) return Report(WSAEINVAL, HelpOf(kIcmpDispMaxMessageSize));
    // Reads take the IPv4 header too; room for the largest one keeps the reply to a message of
    // the largest size from being cut.
    size_t readCapacity = std::min(kLargestIpv4Packet, capacity + kMaxIpv4HeaderSize);
    if (!core_.Buffer().SetCapacity(static_cast<uint16_t>(readCapacity))) {
        return Report(kCodeOutOfMemory, HelpOf(kIcmpDispMaxMessageSize));
    }
    maxMessageSize_ = static_cast<uint16_t>(capacity - kIcmpHeaderSize);
    MarkDirty();
    return S_OK;
}

HRESULT IcmpPort::get_MessageSubType(int16_t* value) {
    return OutValue(static_cast<int16_t>(messageCode_), value);
}

HRESULT IcmpPort::put_MessageSubType(int16_t value) {
    core_.ClearMessage();
    messageCode_ = static_cast<uint8_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT IcmpPort::get_MessageType(int16_t* value) {
    return OutValue(static_cast<int16_t>(messageType_), value);
}

HRESULT IcmpPort::put_MessageType(int16_t value) {
    core_.ClearMessage();
    messageType_ = static_cast<uint8_t>(value);
    MarkDirty();
    return S_OK;
}

HRESULT IcmpPort::get_TimeToLive(int32_t* value) {
    if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(kIcmpDispTimeToLive));
    if (!core_.IsOpen()) return OutValue(static_cast<int32_t>(timeToLive_), value);
    int32_t actual = 0;
    if (!core_.GetOption(WS_IPPROTO_IP, WS_IP_TTL, &actual)) actual = 0;
    return OutValue(actual, value);
}

HRESULT IcmpPort::put_TimeToLive(int32_t value) {
    core_.ClearMessage();
    timeToLive_ = static_cast<uint16_t>(value);
    // 0 keeps whatever the open socket has.
    int code = timeToLive_ != 0 ? ApplyTimeToLive() : 0;
    return Report(code, HelpOf(kIcmpDispTimeToLive));
}

HRESULT IcmpPort::get_DataInMessageDataB(VARIANT* value) {
    return GetCurrentData(value, kIcmpHelpDataInMessageDataB);
}

HRESULT IcmpPort::put_DataInMessageDataB(VARIANT) {
    return ReportGuard(PropertyGuard::kReadOnly, kIcmpHelpDataInMessageDataB);
}

}  // namespace quenda
