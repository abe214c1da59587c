// The Winsock functions behind the C exports; kept free of system socket headers so the
// export file can define functions named socket, bind, select, ... without clashing.
#pragma once

#include "platform/winsock/winsock_types.h"

namespace quenda::wsock {

// Sockets (socket_calls.cpp).
SOCKET Accept(SOCKET s, WS_sockaddr* addr, int* addrlen);
int Bind(SOCKET s, const WS_sockaddr* name, int namelen);
int CloseSocket(SOCKET s);
int Connect(SOCKET s, const WS_sockaddr* name, int namelen);
int GetPeerName(SOCKET s, WS_sockaddr* name, int* namelen);
int GetSockName(SOCKET s, WS_sockaddr* name, int* namelen);
int IoctlSocket(SOCKET s, int32_t cmd, uint32_t* argp);
int Listen(SOCKET s, int backlog);
int Recv(SOCKET s, char* buf, int len, int flags);
int RecvFrom(SOCKET s, char* buf, int len, int flags, WS_sockaddr* from, int* fromlen);
int Send(SOCKET s, const char* buf, int len, int flags);
int SendTo(SOCKET s, const char* buf, int len, int flags, const WS_sockaddr* to, int tolen);
int Shutdown(SOCKET s, int how);
SOCKET Socket(int af, int type, int protocol);

// Options (socket_options.cpp).
int GetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen);
int SetSockOpt(SOCKET s, int level, int optname, const char* optval, int optlen);

// select (socket_select.cpp).
int Select(WS_fd_set* readfds, WS_fd_set* writefds, WS_fd_set* exceptfds,
           const WS_timeval* timeout);
int FdIsSet(SOCKET s, const WS_fd_set* set);

// Notifications (async_select.cpp).
int AsyncSelect(SOCKET s, HWND hwnd, UINT message, int32_t events);

// Names and addresses (host_names.cpp, address_text.cpp).
WS_hostent* GetHostByAddr(const char* addr, int len, int type);
WS_hostent* GetHostByName(const char* name);
int GetHostName(char* name, int namelen);
WS_protoent* GetProtoByName(const char* name);
WS_protoent* GetProtoByNumber(int number);
WS_servent* GetServByName(const char* name, const char* proto);
WS_servent* GetServByPort(int port, const char* proto);
uint32_t InetAddr(const char* text);
char* InetNtoa(WS_in_addr address);

// Library state (winsock_state.cpp).
int Startup(WORD versionRequested, WSADATA* data);
int Cleanup();
int GetLastWinsockError();
void SetLastWinsockError(int error);
FARPROC SetBlockingHook(FARPROC hook);
int UnhookBlockingHook();
int CancelBlockingCall();
// The answer of every WSAAsyncGet... request and of WSACancelAsyncRequest.
HANDLE AsyncRequestNotOffered();
int CancelAsyncRequest(HANDLE task);

}  // namespace quenda::wsock
