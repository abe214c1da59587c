// The C entry points of libwsock32.so, each handing over to its implementation.
#include "platform/winsock/winsock_impl.h"

#define WINSOCK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

uint32_t Swap32(uint32_t value) {
    return kLittleEndian ? __builtin_bswap32(value) : value;
}
uint16_t Swap16(uint16_t value) {
    return kLittleEndian ? __builtin_bswap16(value) : value;
}

}  // namespace

using namespace quenda;

WINSOCK_EXPORT SOCKET accept(SOCKET s, WS_sockaddr* addr, int* addrlen) {
    return wsock::Accept(s, addr, addrlen);
}
WINSOCK_EXPORT int bind(SOCKET s, const WS_sockaddr* name, int namelen) {
    return wsock::Bind(s, name, namelen);
}
WINSOCK_EXPORT int closesocket(SOCKET s) {
    return wsock::CloseSocket(s);
}
WINSOCK_EXPORT int connect(SOCKET s, const WS_sockaddr* name, int namelen) {
    return wsock::Connect(s, name, namelen);
}
WINSOCK_EXPORT int getpeername(SOCKET s, WS_sockaddr* name, int* namelen) {
    return wsock::GetPeerName(s, name, namelen);
}
WINSOCK_EXPORT int getsockname(SOCKET s, WS_sockaddr* name, int* namelen) {
    return wsock::GetSockName(s, name, namelen);
}
WINSOCK_EXPORT int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    return wsock::GetSockOpt(s, level, optname, optval, optlen);
}
WINSOCK_EXPORT uint32_t htonl(uint32_t hostlong) {
    return Swap32(hostlong);
}
WINSOCK_EXPORT uint16_t htons(uint16_t hostshort) {
    return Swap16(hostshort);
}
WINSOCK_EXPORT uint32_t inet_addr(const char* cp) {
    return wsock::InetAddr(cp);
}
WINSOCK_EXPORT char* inet_ntoa(WS_in_addr in) {
    return wsock::InetNtoa(in);
}
WINSOCK_EXPORT int ioctlsocket(SOCKET s, int32_t cmd, uint32_t* argp) {
    return wsock::IoctlSocket(s, cmd, argp);
}
WINSOCK_EXPORT int listen(SOCKET s, int backlog) {
    return wsock::Listen(s, backlog);
}
WINSOCK_EXPORT uint32_t ntohl(uint32_t netlong) {
    return Swap32(netlong);
}
WINSOCK_EXPORT uint16_t ntohs(uint16_t netshort) {
    return Swap16(netshort);
}
WINSOCK_EXPORT int recv(SOCKET s, char* buf, int len, int flags) {
    return wsock::Recv(s, buf, len, flags);
}
WINSOCK_EXPORT int recvfrom(SOCKET s, char* buf, int len, int flags, WS_sockaddr* from,
                            int* fromlen) {
    return wsock::RecvFrom(s, buf, len, flags, from, fromlen);
}
// nfds is ignored, as Winsock ignores it.
WINSOCK_EXPORT int select(int /*nfds*/, WS_fd_set* readfds, WS_fd_set* writefds,
                          WS_fd_set* exceptfds, const WS_timeval* timeout) {
    return wsock::Select(readfds, writefds, exceptfds, timeout);
}
WINSOCK_EXPORT int send(SOCKET s, const char* buf, int len, int flags) {
    return wsock::Send(s, buf, len, flags);
}
WINSOCK_EXPORT int sendto(SOCKET s, const char* buf, int len, int flags, const WS_sockaddr* to,
                          int tolen) {
    return wsock::SendTo(s, buf, len, flags, to, tolen);
}
WINSOCK_EXPORT int setsockopt(SOCKET s, int level, int optname, const char* optval,
                              int optlen) {
    return wsock::SetSockOpt(s, level, optname, optval, optlen);
}
WINSOCK_EXPORT int shutdown(SOCKET s, int how) {
    return wsock::Shutdown(s, how);
}
WINSOCK_EXPORT SOCKET socket(int af, int type, int protocol) {
    return wsock::Socket(af, type, protocol);
}
WINSOCK_EXPORT WS_hostent* gethostbyaddr(const char* addr, int len, int type) {
    return wsock::GetHostByAddr(addr, len, type);
}
WINSOCK_EXPORT WS_hostent* gethostbyname(const char* name) {
    return wsock::GetHostByName(name);
}
WINSOCK_EXPORT WS_protoent* getprotobyname(const char* name) {
    return wsock::GetProtoByName(name);
}
WINSOCK_EXPORT WS_protoent* getprotobynumber(int number) {
    return wsock::GetProtoByNumber(number);
}
WINSOCK_EXPORT WS_servent* getservbyname(const char* name, const char* proto) {
    return wsock::GetServByName(name, proto);
}
WINSOCK_EXPORT WS_servent* getservbyport(int port, const char* proto) {
    return wsock::GetServByPort(port, proto);
}
WINSOCK_EXPORT int gethostname(char* name, int namelen) {
    return wsock::GetHostName(name, namelen);
}
WINSOCK_EXPORT int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT wMsg, int32_t lEvent) {
    return wsock::AsyncSelect(s, hwnd, wMsg, lEvent);
}
WINSOCK_EXPORT HANDLE WSAAsyncGetHostByAddr(HWND, UINT, const char*, int, int, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT HANDLE WSAAsyncGetHostByName(HWND, UINT, const char*, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT HANDLE WSAAsyncGetProtoByNumber(HWND, UINT, int, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT HANDLE WSAAsyncGetProtoByName(HWND, UINT, const char*, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT HANDLE WSAAsyncGetServByPort(HWND, UINT, int, const char*, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT HANDLE WSAAsyncGetServByName(HWND, UINT, const char*, const char*, char*, int) {
    return wsock::AsyncRequestNotOffered();
}
WINSOCK_EXPORT int WSACancelAsyncRequest(HANDLE asyncTask) {
    return wsock::CancelAsyncRequest(asyncTask);
}
WINSOCK_EXPORT FARPROC WSASetBlockingHook(FARPROC blockFunc) {
    return wsock::SetBlockingHook(blockFunc);
}
WINSOCK_EXPORT int WSAUnhookBlockingHook() {
    return wsock::UnhookBlockingHook();
}
WINSOCK_EXPORT int WSAGetLastError() {
    return wsock::GetLastWinsockError();
}
WINSOCK_EXPORT void WSASetLastError(int error) {
    wsock::SetLastWinsockError(error);
}
WINSOCK_EXPORT int WSACancelBlockingCall() {
    return wsock::CancelBlockingCall();
}
// No call of this library ever blocks, so none is ever in progress.
WINSOCK_EXPORT BOOL WSAIsBlocking() {
    return 0;
}
WINSOCK_EXPORT int WSAStartup(WORD wVersionRequested, WSADATA* lpWSAData) {
    return wsock::Startup(wVersionRequested, lpWSAData);
}
WINSOCK_EXPORT int WSACleanup() {
    return wsock::Cleanup();
}
// The name begins with two underscores, which C++ keeps for the implementation; the symbol
// gets it through an assembler name instead.
WINSOCK_EXPORT int WSAFDIsSet(SOCKET s, WS_fd_set* set) __asm__("__WSAFDIsSet");
int WSAFDIsSet(SOCKET s, WS_fd_set* set) {
    return wsock::FdIsSet(s, set);
}
