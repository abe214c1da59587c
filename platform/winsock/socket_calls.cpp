// The socket functions of Winsock 1.1 over non-blocking Linux sockets.
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/winsock/async_select.h"
#include "platform/winsock/socket_table.h"
#include "platform/winsock/winsock_errors.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

constexpr int kSockaddrInSize = static_cast<int>(sizeof(WS_sockaddr_in));

int FailWithErrno(int err, const SocketState& state) {
    return Fail(WinsockErrorFromErrno(err, state.type != WS_SOCK_STREAM));
}

// Checks a caller's address and turns it into Linux's form; 0 or a Winsock error.
int ToLinuxAddress(const WS_sockaddr* name, int namelen, sockaddr_in* out) {
    if (name == nullptr || namelen < kSockaddrInSize) return WSAEFAULT;
    WS_sockaddr_in in;
    std::memcpy(&in, name, sizeof in);
    if (in.sin_family != WS_AF_INET) return WSAEAFNOSUPPORT;
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = in.sin_port;
    out->sin_addr.s_addr = in.sin_addr.s_addr;
    return 0;
}

void ToWinsockAddress(const sockaddr_in& in, WS_sockaddr* name) {
    WS_sockaddr_in out{};
    out.sin_family = WS_AF_INET;
    out.sin_port = in.sin_port;
    out.sin_addr.s_addr = in.sin_addr.s_addr;
    std::memcpy(name, &out, sizeof out);
}

// Checks an optional (address, length) result pair: both absent, or room for an address.
bool ResultAddressFits(const WS_sockaddr* name, const int* namelen) {
    if (name == nullptr) return true;
    return namelen != nullptr && *namelen >= kSockaddrInSize;
}

bool ValidBuffer(const char* buf, int len) {
    return len >= 0 && (buf != nullptr || len == 0);
}

// Winsock's flag bits to Linux's; false when a bit is not allowed here.
bool ToLinuxFlags(int flags, int allowed, int* out) {
    if ((flags & ~allowed) != 0) return false;
    *out = 0;
    if ((flags & WS_MSG_OOB) != 0) *out |= MSG_OOB;
    if ((flags & WS_MSG_PEEK) != 0) *out |= MSG_PEEK;
    if ((flags & WS_MSG_DONTROUTE) != 0) *out |= MSG_DONTROUTE;
    return true;
}

int BufferSize(int fd, int option) {
    int value = 0;
    socklen_t length = sizeof value;
    ::getsockopt(fd, SOL_SOCKET, option, &value, &length);
    return value;
}

}  // namespace

SOCKET Socket(int af, int type, int protocol) {
    if (!IsStarted()) {
        Fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (af != WS_AF_INET) {
        Fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != WS_SOCK_STREAM && type != WS_SOCK_DGRAM && type != WS_SOCK_RAW) {
        Fail(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    bool echoSocket = false;
    if (fd < 0 && type == WS_SOCK_RAW && protocol == WS_IPPROTO_ICMP &&
        (errno == EPERM || errno == EACCES)) {
        // Raw sockets need root or CAP_NET_RAW; most systems let every user ping through a
        // datagram ICMP socket instead (net.ipv4.ping_group_range).
        const int refused = errno;
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        echoSocket = fd >= 0;
        if (!echoSocket) errno = refused;
    }
    if (fd < 0) {
        // A raw socket without the privilege for it reads as WSAEACCES, as on Windows.
        Fail(WinsockErrorFromErrno(errno));
        return INVALID_SOCKET;
    }
    SocketState& state = AddSocket(fd, type);
    state.echoSocket = echoSocket;
    state.defaultReceiveBuffer = BufferSize(fd, SO_RCVBUF);
    state.defaultSendBuffer = BufferSize(fd, SO_SNDBUF);
    return HandleOf(state);
}

int CloseSocket(SOCKET s) {
    if (FindSocket(s) == nullptr) return SOCKET_ERROR;
    RemoveSocket(s);
    return 0;
}

int Bind(SOCKET s, const WS_sockaddr* name, int namelen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    sockaddr_in address;
    if (int error = ToLinuxAddress(name, namelen, &address)) return Fail(error);
    if (::bind(state->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return FailWithErrno(errno, *state);
    }
    state->bound = true;
    // Bound to every address, the socket learns each datagram's destination, so that its
    // replies leave from the address the peer wrote to.
    const int on = 1;
    if (state->type == WS_SOCK_DGRAM && address.sin_addr.s_addr == htonl(INADDR_ANY) &&
        ::setsockopt(state->fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0) {
        state->replySources = std::make_unique<ReplySources>();
    }
    return 0;
}

int Connect(SOCKET s, const WS_sockaddr* name, int namelen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    sockaddr_in address;
    if (int error = ToLinuxAddress(name, namelen, &address)) return Fail(error);
    bool anyAddress = address.sin_addr.s_addr == 0;
    if (state->type != WS_SOCK_STREAM && anyAddress && address.sin_port == 0) {
        // Winsock's way to take a datagram socket's peer away again.
        sockaddr unspecified{};
        unspecified.sa_family = AF_UNSPEC;
        ::connect(state->fd, &unspecified, sizeof unspecified);
        return 0;
    }
    if (anyAddress || (state->type != WS_SOCK_RAW && address.sin_port == 0)) {
        return Fail(WSAEADDRNOTAVAIL);
    }
    if (::connect(state->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int err = errno;
        if (state->type == WS_SOCK_STREAM && err == EINPROGRESS) {
            state->bound = true;
            state->connected = true;  // writable for Winsock once the connection is made
            RearmWrite(*state);
        }
        return FailWithErrno(err, *state);
    }
    state->bound = true;
    if (state->type == WS_SOCK_STREAM) {
        state->connected = true;
        RearmWrite(*state);
    }
    return 0;
}

int Listen(SOCKET s, int backlog) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (state->type != WS_SOCK_STREAM) return Fail(WSAEOPNOTSUPP);
    if (!state->bound) return Fail(WSAEINVAL);  // Linux would pick a port; Winsock refuses
    if (::listen(state->fd, backlog < 0 ? 0 : backlog) != 0) return FailWithErrno(errno, *state);
    state->listening = true;
    RearmRead(*state);
    return 0;
}

SOCKET Accept(SOCKET s, WS_sockaddr* addr, int* addrlen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return INVALID_SOCKET;
    if (!ResultAddressFits(addr, addrlen)) {
        Fail(WSAEFAULT);
        return INVALID_SOCKET;
    }
    if (!state->listening) {
        Fail(WSAEINVAL);
        return INVALID_SOCKET;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    int fd = ::accept4(state->fd, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    RearmRead(*state);
    if (fd < 0) {
        FailWithErrno(err, *state);
        return INVALID_SOCKET;
    }
    if (addr != nullptr) {
        ToWinsockAddress(peer, addr);
        *addrlen = kSockaddrInSize;
    }
    SocketState& accepted = AddSocket(fd, WS_SOCK_STREAM);
    accepted.bound = true;
    accepted.connected = true;
    accepted.defaultReceiveBuffer = BufferSize(fd, SO_RCVBUF);
    accepted.defaultSendBuffer = BufferSize(fd, SO_SNDBUF);
    InheritNotifications(*state, accepted);
    return HandleOf(accepted);
}

int GetSockName(SOCKET s, WS_sockaddr* name, int* namelen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (name == nullptr || !ResultAddressFits(name, namelen)) return Fail(WSAEFAULT);
    if (!state->bound) return Fail(WSAEINVAL);  // Winsock has no name for an unbound socket
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(state->fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return FailWithErrno(errno, *state);
    }
    ToWinsockAddress(local, name);
    *namelen = kSockaddrInSize;
    return 0;
}

int GetPeerName(SOCKET s, WS_sockaddr* name, int* namelen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (name == nullptr || !ResultAddressFits(name, namelen)) return Fail(WSAEFAULT);
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(state->fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return FailWithErrno(errno, *state);
    }
    ToWinsockAddress(peer, name);
    *namelen = kSockaddrInSize;
    return 0;
}

namespace {

// The largest datagram a read-ahead must hold: an IPv4 packet, header included.
constexpr size_t kLargestDatagram = 65536;

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kEchoRequest = 8;
constexpr size_t kEchoHeaderSize = 8;  // type, code, checksum, identifier, sequence
constexpr size_t kEchoIdentifierOffset = 4;

uint16_t ReadWord(const char* bytes) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) << 8 |
                                 static_cast<uint8_t>(bytes[1]));
}

void WriteWord(char* bytes, uint16_t word) {
    bytes[0] = static_cast<char>(word >> 8);
    bytes[1] = static_cast<char>(word & 0xFF);
}

// A ping socket's kernel puts its own identifier into every echo request and hands over only
// the replies carrying it: the reply gets back the identifier the caller sent, its checksum
// adjusted to match (RFC 1624), so the caller reads what a raw socket would have shown it, a
// damaged checksum still damaged. Nothing else is touched; a ping socket gives no IPv4 header.
void RestoreEchoIdentifier(const SocketState& state, char* message, size_t length) {
    if (!state.echoSocket || !state.echoIdentifierSent || length < kEchoHeaderSize ||
        static_cast<uint8_t>(message[0]) != kEchoReply) {
        return;
    }
    const uint16_t kernels = ReadWord(message + kEchoIdentifierOffset);
    uint32_t sum = static_cast<uint16_t>(~ReadWord(message + 2));
    sum += static_cast<uint16_t>(~kernels);
    sum += state.echoIdentifier;
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum = (sum >> 16) + (sum & 0xFFFF);
    WriteWord(message + 2, static_cast<uint16_t>(~sum));
    WriteWord(message + kEchoIdentifierOffset, state.echoIdentifier);
}

// Notes the identifier of an echo request about to leave a ping socket.
void NoteEchoRequest(SocketState& state, const char* message, int length) {
    if (!state.echoSocket || length < static_cast<int>(kEchoHeaderSize) ||
        static_cast<uint8_t>(message[0]) != kEchoRequest) {
        return;
    }
    state.echoIdentifier = ReadWord(message + kEchoIdentifierOffset);
    state.echoIdentifierSent = true;
}

void ReportSender(const sockaddr_in& peer, WS_sockaddr* from, int* fromlen) {
    if (from == nullptr) return;
    ToWinsockAddress(peer, from);
    *fromlen = kSockaddrInSize;
}

// Notes the local address a datagram just handed over was sent to, for the replies to its sender.
void RememberDestination(SocketState& state, const sockaddr_in& peer, const msghdr& message) {
    if (!state.replySources || message.msg_namelen < sizeof(sockaddr_in)) return;
    if (const std::optional<in_addr> to = DestinationOf(message)) {
        state.replySources->Remember(peer, *to);
    }
}

// Sends from the local address the target last wrote to, when the socket knows one; false when
// it does not, or that address cannot send any more (it was taken off its interface), so the
// caller sends as usual.
bool SendFromItsDestination(const SocketState& state, const char* buf, int len, int flags,
                            const sockaddr_in& target, ssize_t* sent) {
    if (!state.replySources) return false;
    const std::optional<in_addr> local = state.replySources->LocalFor(target);
    if (!local) return false;
    iovec part{const_cast<char*>(buf), static_cast<size_t>(len)};
    alignas(cmsghdr) char control[kPacketInfoSpace]{};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&target);
    message.msg_namelen = sizeof target;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* info = CMSG_FIRSTHDR(&message);
    info->cmsg_level = IPPROTO_IP;
    info->cmsg_type = IP_PKTINFO;
    info->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo packet{};
    packet.ipi_spec_dst = *local;
    std::memcpy(CMSG_DATA(info), &packet, sizeof packet);
    *sent = ::sendmsg(state.fd, &message, flags);
    return *sent >= 0 || (errno != EINVAL && errno != EADDRNOTAVAIL);
}

// Hands over the held datagram (a copy only, when peeking). Like any datagram it is cut to
// the caller's buffer, the rest lost, with WSAEMSGSIZE.
int ReceiveHeld(SocketState& state, char* buf, int len, bool peek, WS_sockaddr* from,
                int* fromlen) {
    ReadAhead& ahead = *state.readAhead;
    const size_t copied = std::min(ahead.length, static_cast<size_t>(len));
    if (copied > 0) std::memcpy(buf, ahead.bytes.data(), copied);
    ReportSender(ahead.from, from, fromlen);
    const size_t length = ahead.length;
    if (!peek) {
        // Only now is it the datagram being answered.
        if (state.replySources && ahead.to) state.replySources->Remember(ahead.from, *ahead.to);
        ahead.held = false;
        RearmRead(state);  // also takes back the FD_READ posted for it
    }
    if (length > static_cast<size_t>(len)) return Fail(WSAEMSGSIZE);
    return static_cast<int>(length);
}

// A receive without flags on a datagram or raw socket: the held datagram if there is one,
// "would block" without asking the kernel when the last call found its queue empty, else
// up to two datagrams in one call, the second held for the next receive.
int ReceiveDatagram(SocketState& state, char* buf, int len, WS_sockaddr* from, int* fromlen) {
    if (!state.readAhead) state.readAhead = std::make_unique<ReadAhead>();
    ReadAhead& ahead = *state.readAhead;
    if (ahead.held) return ReceiveHeld(state, buf, len, false, from, fromlen);
    if (ahead.drained) {
        // Anything that came since is announced by the watch armed here.
        ahead.drained = false;
        RearmRead(state);
        return Fail(WSAEWOULDBLOCK);
    }
    if (ahead.bytes.empty()) ahead.bytes.resize(kLargestDatagram);

    sockaddr_in peers[2]{};
    iovec parts[2] = {{buf, static_cast<size_t>(len)}, {ahead.bytes.data(), ahead.bytes.size()}};
    mmsghdr messages[2]{};
    alignas(cmsghdr) char controls[2][kPacketInfoSpace];
    for (int i = 0; i < 2; ++i) {
        messages[i].msg_hdr.msg_name = &peers[i];
        messages[i].msg_hdr.msg_namelen = sizeof peers[i];
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        if (state.replySources) {
            messages[i].msg_hdr.msg_control = controls[i];
            messages[i].msg_hdr.msg_controllen = sizeof controls[i];
        }
    }
    const int got = ::recvmmsg(state.fd, messages, 2, 0, nullptr);
    const int err = errno;
    if (got == 2) {
        ahead.held = true;
        ahead.length = messages[1].msg_len;
        ahead.from = peers[1];
        // Kept with the datagram: it is answered from this address only once it is handed over.
        ahead.to = DestinationOf(messages[1].msg_hdr);
    }
    if (got >= 1) {
        RememberDestination(state, peers[0], messages[0].msg_hdr);
        RestoreEchoIdentifier(state, buf, std::min<size_t>(messages[0].msg_len, len));
    }
    if (got == 2) RestoreEchoIdentifier(state, ahead.bytes.data(), ahead.length);
    ahead.drained = got == 1;
    RearmRead(state);  // Winsock re-enables FD_READ with every receive call
    if (got < 0) return FailWithErrno(err, state);
    if (messages[0].msg_hdr.msg_namelen >= sizeof(sockaddr_in)) {
        ReportSender(peers[0], from, fromlen);
    }
    // The buffer holds the first part; the rest of the datagram is gone, as on Windows.
    if ((messages[0].msg_hdr.msg_flags & MSG_TRUNC) != 0) return Fail(WSAEMSGSIZE);
    return static_cast<int>(messages[0].msg_len);
}

}  // namespace

int RecvFrom(SOCKET s, char* buf, int len, int flags, WS_sockaddr* from, int* fromlen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    // Refusals come before the receive, so no datagram is lost to a caller's mistake.
    if (!ValidBuffer(buf, len) || !ResultAddressFits(from, fromlen)) return Fail(WSAEFAULT);
    int linuxFlags = 0;
    if (!ToLinuxFlags(flags, WS_MSG_OOB | WS_MSG_PEEK, &linuxFlags)) return Fail(WSAEOPNOTSUPP);
    // Linux hands a raw socket every packet of its protocol from the start, bound or not.
    if (state->type == WS_SOCK_DGRAM && !state->bound) return Fail(WSAEINVAL);
    if (state->type == WS_SOCK_STREAM && !state->connected) return Fail(WSAENOTCONN);
    if (state->type != WS_SOCK_STREAM) {
        if (flags == 0) return ReceiveDatagram(*state, buf, len, from, fromlen);
        if (flags == WS_MSG_PEEK && HoldsDatagram(*state)) {
            return ReceiveHeld(*state, buf, len, true, from, fromlen);
        }
    }

    sockaddr_in peer{};
    iovec part{buf, static_cast<size_t>(len)};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[kPacketInfoSpace];
    if (state->replySources) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    ssize_t received = ::recvmsg(state->fd, &message, linuxFlags);
    int err = errno;
    RearmRead(*state);  // Winsock re-enables FD_READ with every receive call
    if (received < 0) return FailWithErrno(err, *state);
    if ((flags & WS_MSG_PEEK) == 0) RememberDestination(*state, peer, message);
    RestoreEchoIdentifier(*state, buf, std::min(static_cast<size_t>(received), part.iov_len));
    if (message.msg_namelen >= sizeof(sockaddr_in)) ReportSender(peer, from, fromlen);
    // The buffer holds the first part; the rest of the datagram is gone, as on Windows.
    if (state->type != WS_SOCK_STREAM && (message.msg_flags & MSG_TRUNC) != 0) {
        return Fail(WSAEMSGSIZE);
    }
    return static_cast<int>(received);
}

int Recv(SOCKET s, char* buf, int len, int flags) {
    return RecvFrom(s, buf, len, flags, nullptr, nullptr);
}

int SendTo(SOCKET s, const char* buf, int len, int flags, const WS_sockaddr* to, int tolen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (!ValidBuffer(buf, len)) return Fail(WSAEFAULT);
    int linuxFlags = 0;
    if (!ToLinuxFlags(flags, WS_MSG_OOB | WS_MSG_DONTROUTE, &linuxFlags)) {
        return Fail(WSAEOPNOTSUPP);
    }
    linuxFlags |= MSG_NOSIGNAL;  // a closed stream reports an error, never a signal

    sockaddr_in address{};
    const sockaddr* target = nullptr;
    socklen_t targetLength = 0;
    // A connected stream ignores the address, as Winsock does.
    if (to != nullptr && state->type != WS_SOCK_STREAM) {
        if (int error = ToLinuxAddress(to, tolen, &address)) return Fail(error);
        // Linux would deliver to this host; Winsock refuses the any address and port 0.
        if (address.sin_addr.s_addr == 0 ||
            (state->type == WS_SOCK_DGRAM && address.sin_port == 0)) {
            return Fail(WSAEADDRNOTAVAIL);
        }
        target = reinterpret_cast<const sockaddr*>(&address);
        targetLength = sizeof address;
    }
    NoteEchoRequest(*state, buf, len);
    ssize_t sent = 0;
    const bool answered = target != nullptr && state->type == WS_SOCK_DGRAM &&
                          SendFromItsDestination(*state, buf, len, linuxFlags, address, &sent);
    if (!answered) {
        sent = ::sendto(state->fd, buf, static_cast<size_t>(len), linuxFlags, target, targetLength);
    }
    if (sent < 0) {
        int err = errno;
        if (err == EAGAIN) RearmWrite(*state);
        return FailWithErrno(err, *state);
    }
    state->bound = true;  // sending gave an unbound socket a local address
    return static_cast<int>(sent);
}

int Send(SOCKET s, const char* buf, int len, int flags) {
    return SendTo(s, buf, len, flags, nullptr, 0);
}

int Shutdown(SOCKET s, int how) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return Fail(WSAEINVAL);
    if (::shutdown(state->fd, how) != 0) return FailWithErrno(errno, *state);
    return 0;
}

int IoctlSocket(SOCKET s, int32_t cmd, uint32_t* argp) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (argp == nullptr) return Fail(WSAEFAULT);
    if (cmd == WS_FIONBIO) {
        // Sockets here never block. Asking for blocking mode while notifications are on is
        // refused as on Windows; otherwise it is accepted and calls still return at once.
        if (*argp == 0 && state->events != 0) return Fail(WSAEINVAL);
        return 0;
    }
    if (cmd == WS_FIONREAD) {
        // The size of the next datagram (all queued bytes on a stream), the held one first.
        if (HoldsDatagram(*state)) {
            *argp = static_cast<uint32_t>(state->readAhead->length);
            return 0;
        }
        ForgetDrained(*state);
        int pending = 0;
        if (::ioctl(state->fd, FIONREAD, &pending) != 0) return FailWithErrno(errno, *state);
        *argp = static_cast<uint32_t>(pending < 0 ? 0 : pending);
        return 0;
    }
    if (cmd == WS_SIOCATMARK) {
        // Winsock answers TRUE when no urgent data waits to be read.
        char probe;
        bool urgentWaiting =
            state->type == WS_SOCK_STREAM && ::recv(state->fd, &probe, 1, MSG_OOB | MSG_PEEK) == 1;
        *argp = urgentWaiting ? 0 : 1;
        return 0;
    }
    return Fail(WSAEINVAL);
}

}  // namespace quenda::wsock
