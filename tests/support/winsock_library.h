// Loads libwsock32.so the way the socket controls do (dlopen, entry points by name) for tests.
#pragma once

#include <dlfcn.h>

#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "platform/winsock/winsock_types.h"

namespace quenda::test {

// The entry points of one loaded copy of the Winsock layer; loaded once per test program and
// never unloaded, as the controls never unload it.
struct WinsockLibrary {
    LPFN_ACCEPT accept;
    LPFN_BIND bind;
    LPFN_CLOSESOCKET closesocket;
    LPFN_CONNECT connect;
    LPFN_GETPEERNAME getpeername;
    LPFN_GETSOCKNAME getsockname;
    LPFN_GETSOCKOPT getsockopt;
    LPFN_HTONL htonl;
    LPFN_HTONS htons;
    LPFN_INET_ADDR inet_addr;
    LPFN_INET_NTOA inet_ntoa;
    LPFN_IOCTLSOCKET ioctlsocket;
    LPFN_LISTEN listen;
    LPFN_NTOHS ntohs;
    LPFN_RECV recv;
    LPFN_RECVFROM recvfrom;
    LPFN_SELECT select;
    LPFN_SEND send;
    LPFN_SENDTO sendto;
    LPFN_SETSOCKOPT setsockopt;
    LPFN_SOCKET socket;
    LPFN_GETHOSTBYNAME gethostbyname;
    LPFN_GETHOSTNAME gethostname;
    LPFN_GETPROTOBYNAME getprotobyname;
    LPFN_GETPROTOBYNUMBER getprotobynumber;
    LPFN_GETSERVBYNAME getservbyname;
    LPFN_WSAASYNCSELECT WSAAsyncSelect;
    LPFN_WSAASYNCGETHOSTBYNAME WSAAsyncGetHostByName;
    LPFN_WSAGETLASTERROR WSAGetLastError;
    LPFN_WSASETLASTERROR WSASetLastError;
    LPFN_WSACANCELBLOCKINGCALL WSACancelBlockingCall;
    LPFN_WSAISBLOCKING WSAIsBlocking;
    LPFN_WSASTARTUP WSAStartup;
    LPFN_WSACLEANUP WSACleanup;
    LPFN___WSAFDISSET WSAFDIsSet;
    std::string loadError;  // empty when every entry point was found
};

// The library at path, loaded on the first call (RTLD_LOCAL, as the controls load it).
inline const WinsockLibrary& LoadWinsock(const char* path) {
    static WinsockLibrary library = [path] {
        WinsockLibrary loaded{};
        void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            loaded.loadError = ::dlerror();
            return loaded;
        }
        auto find = [&](auto& entry, int ordinal) {
            const char* name = WinsockExportName(ordinal);
            void* symbol = name != nullptr ? ::dlsym(handle, name) : nullptr;
            if (symbol == nullptr) loaded.loadError += std::to_string(ordinal) + " missing; ";
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(symbol);
        };
        find(loaded.accept, 1);
        find(loaded.bind, 2);
        find(loaded.closesocket, 3);
        find(loaded.connect, 4);
        find(loaded.getpeername, 5);
        find(loaded.getsockname, 6);
        find(loaded.getsockopt, 7);
        find(loaded.htonl, 8);
        find(loaded.htons, 9);
        find(loaded.inet_addr, 10);
        find(loaded.inet_ntoa, 11);
        find(loaded.ioctlsocket, 12);
        find(loaded.listen, 13);
        find(loaded.ntohs, 15);
        find(loaded.recv, 16);
        find(loaded.recvfrom, 17);
        find(loaded.select, 18);
        find(loaded.send, 19);
        find(loaded.sendto, 20);
        find(loaded.setsockopt, 21);
        find(loaded.socket, 23);
        find(loaded.gethostbyname, 52);
        find(loaded.getprotobyname, 53);
        find(loaded.getprotobynumber, 54);
        find(loaded.getservbyname, 55);
        find(loaded.gethostname, 57);
        find(loaded.WSAAsyncSelect, 101);
        find(loaded.WSAAsyncGetHostByName, 103);
        find(loaded.WSAGetLastError, 111);
        find(loaded.WSASetLastError, 112);
        find(loaded.WSACancelBlockingCall, 113);
        find(loaded.WSAIsBlocking, 114);
        find(loaded.WSAStartup, 115);
        find(loaded.WSACleanup, 116);
        find(loaded.WSAFDIsSet, 151);
        return loaded;
    }();
    return library;
}

}  // namespace quenda::test
