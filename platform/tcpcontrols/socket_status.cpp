// Socket failures named by Winsock numbers, the way the program's other controls name them.
#include "platform/tcpcontrols/socket_status.h"

#include "platform/winsock/winsock_types.h"

namespace quenda::tcpcontrols {
namespace {

const char* CodeText(int code) {
    switch (code) {
        case WSAEACCES: return "Permission denied";
        case WSAEINVAL: return "Invalid argument";
        case WSAEDESTADDRREQ: return "Destination address required";
        case WSAEOPNOTSUPP: return "Operation not supported";
        case WSAEADDRINUSE: return "Address already in use";
        case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
        case WSAENETDOWN: return "Network is down";
        case WSAENETUNREACH: return "Network is unreachable";
        case WSAECONNRESET: return "Connection reset by peer";
        case WSAENOBUFS: return "No buffer space available";
        case WSAETIMEDOUT: return "Connection timed out";
        case WSAECONNREFUSED: return "Connection refused";
        case WSAEHOSTUNREACH: return "No route to host";
        case WSAHOST_NOT_FOUND: return "Host not found";
        default: return "Network error";
    }
}

}  // namespace

SocketStatus StatusFromCode(int code) {
    if (code == 0) return {0, ""};
    return {code, CodeText(code)};
}

SocketStatus StatusFromSocketError(QAbstractSocket::SocketError error, const QString& qtText) {
    switch (error) {
        case QAbstractSocket::RemoteHostClosedError: return {0, ""};
        case QAbstractSocket::ConnectionRefusedError: return StatusFromCode(WSAECONNREFUSED);
        case QAbstractSocket::HostNotFoundError: return StatusFromCode(WSAHOST_NOT_FOUND);
        case QAbstractSocket::SocketAccessError: return StatusFromCode(WSAEACCES);
        case QAbstractSocket::SocketResourceError: return StatusFromCode(WSAENOBUFS);
        case QAbstractSocket::SocketTimeoutError: return StatusFromCode(WSAETIMEDOUT);
        case QAbstractSocket::NetworkError: return StatusFromCode(WSAENETUNREACH);
        case QAbstractSocket::AddressInUseError: return StatusFromCode(WSAEADDRINUSE);
        case QAbstractSocket::SocketAddressNotAvailableError: return StatusFromCode(WSAEADDRNOTAVAIL);
        case QAbstractSocket::UnsupportedSocketOperationError: return StatusFromCode(WSAEOPNOTSUPP);
        default: return {WSAENETDOWN, qtText.toStdString()};
    }
}

HRESULT HresultFromSocketCode(int code) {
    return MakeHresult(0x800A0000u | (static_cast<uint32_t>(15001 + code) & 0xFFFFu));
}

}  // namespace quenda::tcpcontrols
