// getsockopt/setsockopt: Winsock option numbers and layouts translated to Linux's.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/winsock/socket_table.h"
#include "platform/winsock/winsock_errors.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

enum class OptionKind {
    kInt,             // an int on both sides
    kReadOnlyInt,     // an int that can only be read
    kLinger,          // Winsock's 16-bit linger pair
    kDontLinger,      // the negation of linger's on/off
    kReceiveBuffer,   // SO_RCVBUF, never below the system default
    kSendBuffer,      // SO_SNDBUF, never below the system default
    kError,           // SO_ERROR, read as a Winsock number
};

struct OptionMapping {
    int wsLevel;
    int wsName;
    int level;
    int name;
    OptionKind kind;
};

constexpr OptionMapping kOptions[] = {
    {WS_SOL_SOCKET, WS_SO_DEBUG, SOL_SOCKET, SO_DEBUG, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_ACCEPTCONN, SOL_SOCKET, SO_ACCEPTCONN, OptionKind::kReadOnlyInt},
    {WS_SOL_SOCKET, WS_SO_REUSEADDR, SOL_SOCKET, SO_REUSEADDR, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_KEEPALIVE, SOL_SOCKET, SO_KEEPALIVE, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_DONTROUTE, SOL_SOCKET, SO_DONTROUTE, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_BROADCAST, SOL_SOCKET, SO_BROADCAST, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_LINGER, SOL_SOCKET, SO_LINGER, OptionKind::kLinger},
    {WS_SOL_SOCKET, WS_SO_DONTLINGER, SOL_SOCKET, SO_LINGER, OptionKind::kDontLinger},
    {WS_SOL_SOCKET, WS_SO_OOBINLINE, SOL_SOCKET, SO_OOBINLINE, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_SNDBUF, SOL_SOCKET, SO_SNDBUF, OptionKind::kSendBuffer},
    {WS_SOL_SOCKET, WS_SO_RCVBUF, SOL_SOCKET, SO_RCVBUF, OptionKind::kReceiveBuffer},
    {WS_SOL_SOCKET, WS_SO_RCVLOWAT, SOL_SOCKET, SO_RCVLOWAT, OptionKind::kInt},
    {WS_SOL_SOCKET, WS_SO_ERROR, SOL_SOCKET, SO_ERROR, OptionKind::kError},
    {WS_SOL_SOCKET, WS_SO_TYPE, SOL_SOCKET, SO_TYPE, OptionKind::kReadOnlyInt},
    {WS_IPPROTO_IP, WS_IP_MULTICAST_TTL, IPPROTO_IP, IP_MULTICAST_TTL, OptionKind::kInt},
    {WS_IPPROTO_IP, WS_IP_MULTICAST_LOOP, IPPROTO_IP, IP_MULTICAST_LOOP, OptionKind::kInt},
    {WS_IPPROTO_IP, WS_IP_TTL, IPPROTO_IP, IP_TTL, OptionKind::kInt},
    {WS_IPPROTO_IP, WS_IP_TOS, IPPROTO_IP, IP_TOS, OptionKind::kInt},
    {WS_IPPROTO_TCP, WS_TCP_NODELAY, IPPROTO_TCP, TCP_NODELAY, OptionKind::kInt},
};

// The mapping of (level, name), or null after setting WSAEINVAL (unknown level) or
// WSAENOPROTOOPT (option not offered).
const OptionMapping* FindOption(int level, int name) {
    if (level != WS_SOL_SOCKET && level != WS_IPPROTO_IP && level != WS_IPPROTO_TCP) {
        Fail(WSAEINVAL);
        return nullptr;
    }
    for (const OptionMapping& option : kOptions) {
        if (option.wsLevel == level && option.wsName == name) return &option;
    }
    Fail(WSAENOPROTOOPT);
    return nullptr;
}

int FailWithErrno(int err, const SocketState& state) {
    return Fail(WinsockErrorFromErrno(err, state.type != WS_SOCK_STREAM));
}

int SetLinux(const SocketState& state, const OptionMapping& option, const void* value,
             socklen_t length) {
    if (::setsockopt(state.fd, option.level, option.name, value, length) != 0) {
        return FailWithErrno(errno, state);
    }
    return 0;
}

int GetLinux(const SocketState& state, const OptionMapping& option, void* value,
             socklen_t length) {
    if (::getsockopt(state.fd, option.level, option.name, value, &length) != 0) {
        return FailWithErrno(errno, state);
    }
    return 0;
}

// Linux books about twice what is asked for against a buffer, and charges every datagram a
// kilobyte of bookkeeping that Windows does not, so a request below the default would hold
// far less than on Windows: such requests keep the default. Linux also caps requests at the
// system maximum (net.core.rmem_max / wmem_max) where Windows grants them; a privileged
// process gets past the cap with the forcing option, others keep what the cap allows.
int SetBuffer(SocketState& state, const OptionMapping& option, int requested) {
    bool receive = option.kind == OptionKind::kReceiveBuffer;
    int systemDefault = receive ? state.defaultReceiveBuffer : state.defaultSendBuffer;
    int applied = requested < systemDefault / 2 ? systemDefault / 2 : requested;
    if (int result = SetLinux(state, option, &applied, sizeof applied)) return result;
    int booked = 0;
    socklen_t length = sizeof booked;
    if (::getsockopt(state.fd, SOL_SOCKET, option.name, &booked, &length) == 0 &&
        booked / 2 < applied) {
        // Fails with EPERM without CAP_NET_ADMIN; the capped size then stays.
        const int force = receive ? SO_RCVBUFFORCE : SO_SNDBUFFORCE;
        (void)::setsockopt(state.fd, SOL_SOCKET, force, &applied, sizeof applied);
    }
    (receive ? state.requestedReceiveBuffer : state.requestedSendBuffer) = requested;
    return 0;
}

int GetBuffer(const SocketState& state, const OptionMapping& option, int* value) {
    bool receive = option.kind == OptionKind::kReceiveBuffer;
    int requested = receive ? state.requestedReceiveBuffer : state.requestedSendBuffer;
    if (requested >= 0) {  // Windows reads back what was set
        *value = requested;
        return 0;
    }
    int booked = 0;
    if (int result = GetLinux(state, option, &booked, sizeof booked)) return result;
    *value = booked / 2;
    return 0;
}

}  // namespace

int SetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    const OptionMapping* option = FindOption(level, optname);
    if (option == nullptr) return SOCKET_ERROR;
    if (optval == nullptr) return Fail(WSAEFAULT);

    if (option->kind == OptionKind::kLinger) {
        if (optlen < static_cast<int>(sizeof(WS_linger))) return Fail(WSAEFAULT);
        WS_linger wanted;
        std::memcpy(&wanted, optval, sizeof wanted);
        linger value{wanted.l_onoff != 0 ? 1 : 0, wanted.l_linger};
        return SetLinux(*state, *option, &value, sizeof value);
    }
    if (optlen < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
    int value;
    std::memcpy(&value, optval, sizeof value);
    switch (option->kind) {
        case OptionKind::kReadOnlyInt:
        case OptionKind::kError:
            return Fail(WSAENOPROTOOPT);
        case OptionKind::kDontLinger: {
            linger current{};
            if (int result = GetLinux(*state, *option, &current, sizeof current)) return result;
            current.l_onoff = value == 0 ? 1 : 0;
            return SetLinux(*state, *option, &current, sizeof current);
        }
        case OptionKind::kReceiveBuffer:
        case OptionKind::kSendBuffer:
            return SetBuffer(*state, *option, value);
        default:
            return SetLinux(*state, *option, &value, sizeof value);
    }
}

int GetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    const OptionMapping* option = FindOption(level, optname);
    if (option == nullptr) return SOCKET_ERROR;
    if (optval == nullptr || optlen == nullptr) return Fail(WSAEFAULT);

    if (option->kind == OptionKind::kLinger) {
        if (*optlen < static_cast<int>(sizeof(WS_linger))) return Fail(WSAEFAULT);
        linger value{};
        if (int result = GetLinux(*state, *option, &value, sizeof value)) return result;
        WS_linger out{static_cast<uint16_t>(value.l_onoff != 0 ? 1 : 0),
                      static_cast<uint16_t>(value.l_linger)};
        std::memcpy(optval, &out, sizeof out);
        *optlen = sizeof out;
        return 0;
    }
    if (*optlen < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
    int value = 0;
    switch (option->kind) {
        case OptionKind::kDontLinger: {
            linger current{};
            if (int result = GetLinux(*state, *option, &current, sizeof current)) return result;
            value = current.l_onoff == 0 ? 1 : 0;
            break;
        }
        case OptionKind::kReceiveBuffer:
        case OptionKind::kSendBuffer:
            if (int result = GetBuffer(*state, *option, &value)) return result;
            break;
        case OptionKind::kError:
            if (int result = GetLinux(*state, *option, &value, sizeof value)) return result;
            value = WinsockErrorFromErrno(value, state->type != WS_SOCK_STREAM);
            break;
        default:
            if (int result = GetLinux(*state, *option, &value, sizeof value)) return result;
            break;
    }
    std::memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
}

}  // namespace quenda::wsock
