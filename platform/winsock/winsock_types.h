// The Winsock 1.1 interface of libwsock32.so: types, numbers, entry-point types and exports.
//
// Everything here has Winsock's layout and Winsock's numbers, not Linux's. Names that glibc
// also defines (often as macros: AF_INET, SOL_SOCKET, FIONBIO, fd_set, sockaddr_in, ...) carry
// a WS_ prefix so this header can sit beside the system headers in one file. The library is
// loaded with dlopen and its functions taken by name (kWinsockExports); it must never be linked
// to directly, because its exports (socket, bind, send, ...) would then stand in for the C
// library's functions of the same names everywhere in the process.
//
// Where it knowingly differs from Windows:
// - Sockets never block. Calls that would wait fail with WSAEWOULDBLOCK (a stream connect
//   included), WSAIsBlocking is always FALSE, and FIONBIO 0 is accepted without effect (refused
//   with WSAEINVAL while WSAAsyncSelect is on, as on Windows). Only select waits, for the time
//   it is given, and gethostbyname/gethostbyaddr wait for the resolver.
// - WSAAsyncSelect offers FD_READ, FD_WRITE and FD_ACCEPT; other events fail with
//   WSAEOPNOTSUPP. The window must be a window of the message layer, and the thread must run a
//   QCoreApplication (otherwise WSAEINVAL). The error word of a notification is always 0.
// - The WSAAsyncGet... functions fail with WSAEOPNOTSUPP; WSACancelAsyncRequest and
//   WSACancelBlockingCall fail with WSAEINVAL, as there is never anything to cancel.
// - SO_RCVBUF/SO_SNDBUF requests below the system default leave the default in place (Linux
//   charges each datagram about a kilobyte the buffer size does not show); getsockopt reads
//   back the number that was asked for.
// - FIONREAD on a datagram socket gives the size of the next datagram, not of all of them.
// - SOCKET handles are file descriptors, so a closed handle's number comes back soon.
// - SO_REUSEADDR shares a port only when every socket bound to it asked for it.
// - Raw sockets need CAP_NET_RAW; without it socket() fails with WSAEACCES.
// - A raw socket can be read before it has a local address: Linux delivers its protocol's
//   packets to it from its creation on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/winmsg/win_types.h"

namespace quenda {

using SOCKET = UINT_PTR;
inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

// Address families, socket types, protocols (same numbers as Linux, prefixed all the same).
inline constexpr int WS_AF_UNSPEC = 0;
inline constexpr int WS_AF_INET = 2;
inline constexpr int WS_PF_INET = WS_AF_INET;
inline constexpr int WS_SOCK_STREAM = 1;
inline constexpr int WS_SOCK_DGRAM = 2;
inline constexpr int WS_SOCK_RAW = 3;
inline constexpr int WS_IPPROTO_IP = 0;
inline constexpr int WS_IPPROTO_ICMP = 1;
inline constexpr int WS_IPPROTO_TCP = 6;
inline constexpr int WS_IPPROTO_UDP = 17;

// IPv4 addresses in host order (pass through htonl before use).
inline constexpr uint32_t WS_INADDR_ANY = 0x00000000;
inline constexpr uint32_t WS_INADDR_LOOPBACK = 0x7f000001;
inline constexpr uint32_t WS_INADDR_BROADCAST = 0xffffffff;
// What inet_addr answers for text that is not an address. It is also the value of
// "255.255.255.255", so a caller that must accept the limited broadcast address has to
// recognise that text itself (or resolve it with gethostbyname, which takes it literally).
inline constexpr uint32_t WS_INADDR_NONE = 0xffffffff;

// Socket options: level SOL_SOCKET.
inline constexpr int WS_SOL_SOCKET = 0xffff;
inline constexpr int WS_SO_DEBUG = 0x0001;
inline constexpr int WS_SO_ACCEPTCONN = 0x0002;
inline constexpr int WS_SO_REUSEADDR = 0x0004;
inline constexpr int WS_SO_KEEPALIVE = 0x0008;
inline constexpr int WS_SO_DONTROUTE = 0x0010;
inline constexpr int WS_SO_BROADCAST = 0x0020;
inline constexpr int WS_SO_USELOOPBACK = 0x0040;
inline constexpr int WS_SO_LINGER = 0x0080;
inline constexpr int WS_SO_OOBINLINE = 0x0100;
inline constexpr int WS_SO_DONTLINGER = ~WS_SO_LINGER;
inline constexpr int WS_SO_SNDBUF = 0x1001;
inline constexpr int WS_SO_RCVBUF = 0x1002;
inline constexpr int WS_SO_SNDLOWAT = 0x1003;
inline constexpr int WS_SO_RCVLOWAT = 0x1004;
inline constexpr int WS_SO_SNDTIMEO = 0x1005;
inline constexpr int WS_SO_RCVTIMEO = 0x1006;
inline constexpr int WS_SO_ERROR = 0x1007;
inline constexpr int WS_SO_TYPE = 0x1008;

// Socket options: level IPPROTO_IP, in WSOCK32's (Winsock 1.1) numbering.
inline constexpr int WS_IP_OPTIONS = 1;
inline constexpr int WS_IP_MULTICAST_IF = 2;
inline constexpr int WS_IP_MULTICAST_TTL = 3;
inline constexpr int WS_IP_MULTICAST_LOOP = 4;
inline constexpr int WS_IP_ADD_MEMBERSHIP = 5;
inline constexpr int WS_IP_DROP_MEMBERSHIP = 6;
inline constexpr int WS_IP_TTL = 7;
inline constexpr int WS_IP_TOS = 8;
inline constexpr int WS_IP_DONTFRAGMENT = 9;

// Socket options: level IPPROTO_TCP.
inline constexpr int WS_TCP_NODELAY = 0x0001;

// Flags of recv/recvfrom/send/sendto.
inline constexpr int WS_MSG_OOB = 0x1;
inline constexpr int WS_MSG_PEEK = 0x2;
inline constexpr int WS_MSG_DONTROUTE = 0x4;

// ioctlsocket commands.
inline constexpr int32_t WS_FIONBIO = static_cast<int32_t>(0x8004667Eu);
inline constexpr int32_t WS_FIONREAD = static_cast<int32_t>(0x4004667Fu);
inline constexpr int32_t WS_SIOCATMARK = static_cast<int32_t>(0x40047307u);

// shutdown directions.
inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

// WSAAsyncSelect events.
inline constexpr int32_t FD_READ = 0x01;
inline constexpr int32_t FD_WRITE = 0x02;
inline constexpr int32_t FD_OOB = 0x04;
inline constexpr int32_t FD_ACCEPT = 0x08;
inline constexpr int32_t FD_CONNECT = 0x10;
inline constexpr int32_t FD_CLOSE = 0x20;

// The lParam of a WSAAsyncSelect message: event in the low word, error in the high word.
inline constexpr LPARAM WSAMAKESELECTREPLY(int event, int error) {
    return static_cast<LPARAM>((static_cast<uint32_t>(error) << 16) |
                               (static_cast<uint32_t>(event) & 0xffff));
}
inline constexpr int WSAGETSELECTEVENT(LPARAM lParam) {
    return LOWORD(static_cast<uintptr_t>(lParam));
}
inline constexpr int WSAGETSELECTERROR(LPARAM lParam) {
    return HIWORD(static_cast<uintptr_t>(lParam));
}

// Error numbers of WSAGetLastError.
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSASYSCALLFAILURE = 10107;  // a system error with no Winsock counterpart
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;
inline constexpr int WS_FD_SETSIZE = 64;

// Layouts: Winsock 1.1's 32-bit field order, with pointers at this platform's width.
struct WS_in_addr {
    uint32_t s_addr;  // network byte order
};

struct WS_sockaddr {
    uint16_t sa_family;  // address family
    char sa_data[14];    // address bytes
};

struct WS_sockaddr_in {
    int16_t sin_family;     // WS_AF_INET
    uint16_t sin_port;      // network byte order
    WS_in_addr sin_addr;    // network byte order
    char sin_zero[8];       // unused
};
static_assert(sizeof(WS_sockaddr_in) == 16);

struct WS_hostent {
    char* h_name;           // official name
    char** h_aliases;       // null-terminated list (empty here)
    int16_t h_addrtype;     // WS_AF_INET
    int16_t h_length;       // 4
    char** h_addr_list;     // null-terminated list of 4-byte addresses in network order
};

struct WS_servent {
    char* s_name;           // official service name
    char** s_aliases;       // null-terminated list
    int16_t s_port;         // network byte order
    char* s_proto;          // protocol name
};

struct WS_protoent {
    char* p_name;           // official protocol name
    char** p_aliases;       // null-terminated list
    int16_t p_proto;        // protocol number
};

struct WS_fd_set {
    uint32_t fd_count;                // sockets in fd_array
    SOCKET fd_array[WS_FD_SETSIZE];   // the sockets
};

struct WS_timeval {
    int32_t tv_sec;   // seconds
    int32_t tv_usec;  // microseconds
};

struct WS_linger {
    uint16_t l_onoff;   // linger on close
    uint16_t l_linger;  // seconds to linger
};

struct WSADATA {
    WORD wVersion;                                 // version the caller is to use
    WORD wHighVersion;                             // highest version the library offers
    char szDescription[WSADESCRIPTION_LEN + 1];   // what the library is
    char szSystemStatus[WSASYS_STATUS_LEN + 1];   // its state
    uint16_t iMaxSockets;                          // sockets one process may open
    uint16_t iMaxUdpDg;                            // largest datagram that can be sent
    char* lpVendorInfo;                            // null
};

inline void WS_FD_ZERO(WS_fd_set* set) {
    set->fd_count = 0;
}
inline void WS_FD_SET(SOCKET s, WS_fd_set* set) {
    for (uint32_t i = 0; i < set->fd_count && i < WS_FD_SETSIZE; ++i) {
        if (set->fd_array[i] == s) return;
    }
    if (set->fd_count < WS_FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}
inline bool WS_FD_ISSET(SOCKET s, const WS_fd_set* set) {
    for (uint32_t i = 0; i < set->fd_count && i < WS_FD_SETSIZE; ++i) {
        if (set->fd_array[i] == s) return true;
    }
    return false;
}

using HANDLE = void*;
using FARPROC = BOOL (*)();

// Entry points, one type per export.
using LPFN_ACCEPT = SOCKET (*)(SOCKET s, WS_sockaddr* addr, int* addrlen);
using LPFN_BIND = int (*)(SOCKET s, const WS_sockaddr* name, int namelen);
using LPFN_CLOSESOCKET = int (*)(SOCKET s);
using LPFN_CONNECT = int (*)(SOCKET s, const WS_sockaddr* name, int namelen);
using LPFN_GETPEERNAME = int (*)(SOCKET s, WS_sockaddr* name, int* namelen);
using LPFN_GETSOCKNAME = int (*)(SOCKET s, WS_sockaddr* name, int* namelen);
using LPFN_GETSOCKOPT = int (*)(SOCKET s, int level, int optname, char* optval, int* optlen);
using LPFN_HTONL = uint32_t (*)(uint32_t hostlong);
using LPFN_HTONS = uint16_t (*)(uint16_t hostshort);
using LPFN_INET_ADDR = uint32_t (*)(const char* cp);
using LPFN_INET_NTOA = char* (*)(WS_in_addr in);
using LPFN_IOCTLSOCKET = int (*)(SOCKET s, int32_t cmd, uint32_t* argp);
using LPFN_LISTEN = int (*)(SOCKET s, int backlog);
using LPFN_NTOHL = uint32_t (*)(uint32_t netlong);
using LPFN_NTOHS = uint16_t (*)(uint16_t netshort);
using LPFN_RECV = int (*)(SOCKET s, char* buf, int len, int flags);
using LPFN_RECVFROM = int (*)(SOCKET s, char* buf, int len, int flags, WS_sockaddr* from,
                              int* fromlen);
using LPFN_SELECT = int (*)(int nfds, WS_fd_set* readfds, WS_fd_set* writefds,
                            WS_fd_set* exceptfds, const WS_timeval* timeout);
using LPFN_SEND = int (*)(SOCKET s, const char* buf, int len, int flags);
using LPFN_SENDTO = int (*)(SOCKET s, const char* buf, int len, int flags, const WS_sockaddr* to,
                            int tolen);
using LPFN_SETSOCKOPT = int (*)(SOCKET s, int level, int optname, const char* optval,
                                int optlen);
using LPFN_SHUTDOWN = int (*)(SOCKET s, int how);
using LPFN_SOCKET = SOCKET (*)(int af, int type, int protocol);
using LPFN_GETHOSTBYADDR = WS_hostent* (*)(const char* addr, int len, int type);
using LPFN_GETHOSTBYNAME = WS_hostent* (*)(const char* name);
using LPFN_GETPROTOBYNAME = WS_protoent* (*)(const char* name);
using LPFN_GETPROTOBYNUMBER = WS_protoent* (*)(int number);
using LPFN_GETSERVBYNAME = WS_servent* (*)(const char* name, const char* proto);
using LPFN_GETSERVBYPORT = WS_servent* (*)(int port, const char* proto);
using LPFN_GETHOSTNAME = int (*)(char* name, int namelen);
using LPFN_WSAASYNCSELECT = int (*)(SOCKET s, HWND hwnd, UINT wMsg, int32_t lEvent);
using LPFN_WSAASYNCGETHOSTBYADDR = HANDLE (*)(HWND hwnd, UINT wMsg, const char* addr, int len,
                                              int type, char* buf, int buflen);
using LPFN_WSAASYNCGETHOSTBYNAME = HANDLE (*)(HWND hwnd, UINT wMsg, const char* name,
                                              char* buf, int buflen);
using LPFN_WSAASYNCGETPROTOBYNUMBER = HANDLE (*)(HWND hwnd, UINT wMsg, int number, char* buf,
                                                 int buflen);
using LPFN_WSAASYNCGETPROTOBYNAME = HANDLE (*)(HWND hwnd, UINT wMsg, const char* name,
                                               char* buf, int buflen);
using LPFN_WSAASYNCGETSERVBYPORT = HANDLE (*)(HWND hwnd, UINT wMsg, int port, const char* proto,
                                              char* buf, int buflen);
using LPFN_WSAASYNCGETSERVBYNAME = HANDLE (*)(HWND hwnd, UINT wMsg, const char* name,
                                              const char* proto, char* buf, int buflen);
using LPFN_WSACANCELASYNCREQUEST = int (*)(HANDLE asyncTask);
using LPFN_WSASETBLOCKINGHOOK = FARPROC (*)(FARPROC blockFunc);
using LPFN_WSAUNHOOKBLOCKINGHOOK = int (*)();
using LPFN_WSAGETLASTERROR = int (*)();
using LPFN_WSASETLASTERROR = void (*)(int error);
using LPFN_WSACANCELBLOCKINGCALL = int (*)();
using LPFN_WSAISBLOCKING = BOOL (*)();
using LPFN_WSASTARTUP = int (*)(WORD versionRequested, WSADATA* data);
using LPFN_WSACLEANUP = int (*)();
using LPFN___WSAFDISSET = int (*)(SOCKET s, WS_fd_set* set);

// The file the Winsock layer is built as.
inline constexpr const char* kWinsockLibraryName = "libwsock32.so";

// One export of the library: WSOCK32's ordinal and the name to look it up by.
struct WinsockExport {
    int ordinal;
    const char* name;
};

// Every export, in ordinal order.
inline constexpr WinsockExport kWinsockExports[] = {
    {1, "accept"},
    {2, "bind"},
    {3, "closesocket"},
    {4, "connect"},
    {5, "getpeername"},
    {6, "getsockname"},
    {7, "getsockopt"},
    {8, "htonl"},
    {9, "htons"},
    {10, "inet_addr"},
    {11, "inet_ntoa"},
    {12, "ioctlsocket"},
    {13, "listen"},
    {14, "ntohl"},
    {15, "ntohs"},
    {16, "recv"},
    {17, "recvfrom"},
    {18, "select"},
    {19, "send"},
    {20, "sendto"},
    {21, "setsockopt"},
    {22, "shutdown"},
    {23, "socket"},
    {51, "gethostbyaddr"},
    {52, "gethostbyname"},
    {53, "getprotobyname"},
    {54, "getprotobynumber"},
    {55, "getservbyname"},
    {56, "getservbyport"},
    {57, "gethostname"},
    {101, "WSAAsyncSelect"},
    {102, "WSAAsyncGetHostByAddr"},
    {103, "WSAAsyncGetHostByName"},
    {104, "WSAAsyncGetProtoByNumber"},
    {105, "WSAAsyncGetProtoByName"},
    {106, "WSAAsyncGetServByPort"},
    {107, "WSAAsyncGetServByName"},
    {108, "WSACancelAsyncRequest"},
    {109, "WSASetBlockingHook"},
    {110, "WSAUnhookBlockingHook"},
    {111, "WSAGetLastError"},
    {112, "WSASetLastError"},
    {113, "WSACancelBlockingCall"},
    {114, "WSAIsBlocking"},
    {115, "WSAStartup"},
    {116, "WSACleanup"},
    {151, "__WSAFDIsSet"},
};

// The export name of an ordinal, or null when the library has none.
inline constexpr const char* WinsockExportName(int ordinal) {
    for (const WinsockExport& entry : kWinsockExports) {
        if (entry.ordinal == ordinal) return entry.name;
    }
    return nullptr;
}

}  // namespace quenda
