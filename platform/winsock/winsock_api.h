// Loads libwsock32.so with dlopen and hands out its entry points, for code that calls Winsock.
//
// The library must be loaded this way, never linked: linked, its socket, bind, send, ... would
// stand in for the C library's everywhere in the process.
#pragma once

#include <dlfcn.h>

#include <string>
#include <type_traits>

#include "platform/winsock/winsock_types.h"

namespace quenda {

// Every export of the library, by its Winsock name.
struct WinsockApi {
    LPFN_ACCEPT accept = nullptr;
    LPFN_BIND bind = nullptr;
    LPFN_CLOSESOCKET closesocket = nullptr;
    LPFN_CONNECT connect = nullptr;
    LPFN_GETPEERNAME getpeername = nullptr;
    LPFN_GETSOCKNAME getsockname = nullptr;
    LPFN_GETSOCKOPT getsockopt = nullptr;
    LPFN_HTONL htonl = nullptr;
    LPFN_HTONS htons = nullptr;
    LPFN_INET_ADDR inet_addr = nullptr;
    LPFN_INET_NTOA inet_ntoa = nullptr;
    LPFN_IOCTLSOCKET ioctlsocket = nullptr;
    LPFN_LISTEN listen = nullptr;
    LPFN_NTOHL ntohl = nullptr;
    LPFN_NTOHS ntohs = nullptr;
    LPFN_RECV recv = nullptr;
    LPFN_RECVFROM recvfrom = nullptr;
    LPFN_SELECT select = nullptr;
    LPFN_SEND send = nullptr;
    LPFN_SENDTO sendto = nullptr;
    LPFN_SETSOCKOPT setsockopt = nullptr;
    LPFN_SHUTDOWN shutdown = nullptr;
    LPFN_SOCKET socket = nullptr;
    LPFN_GETHOSTBYADDR gethostbyaddr = nullptr;
    LPFN_GETHOSTBYNAME gethostbyname = nullptr;
    LPFN_GETPROTOBYNAME getprotobyname = nullptr;
    LPFN_GETPROTOBYNUMBER getprotobynumber = nullptr;
    LPFN_GETSERVBYNAME getservbyname = nullptr;
    LPFN_GETSERVBYPORT getservbyport = nullptr;
    LPFN_GETHOSTNAME gethostname = nullptr;
    LPFN_WSAASYNCSELECT WSAAsyncSelect = nullptr;
    LPFN_WSAASYNCGETHOSTBYADDR WSAAsyncGetHostByAddr = nullptr;
    LPFN_WSAASYNCGETHOSTBYNAME WSAAsyncGetHostByName = nullptr;
    LPFN_WSAASYNCGETPROTOBYNUMBER WSAAsyncGetProtoByNumber = nullptr;
    LPFN_WSAASYNCGETPROTOBYNAME WSAAsyncGetProtoByName = nullptr;
    LPFN_WSAASYNCGETSERVBYPORT WSAAsyncGetServByPort = nullptr;
    LPFN_WSAASYNCGETSERVBYNAME WSAAsyncGetServByName = nullptr;
    LPFN_WSACANCELASYNCREQUEST WSACancelAsyncRequest = nullptr;
    LPFN_WSASETBLOCKINGHOOK WSASetBlockingHook = nullptr;
    LPFN_WSAUNHOOKBLOCKINGHOOK WSAUnhookBlockingHook = nullptr;
    LPFN_WSAGETLASTERROR WSAGetLastError = nullptr;
    LPFN_WSASETLASTERROR WSASetLastError = nullptr;
    LPFN_WSACANCELBLOCKINGCALL WSACancelBlockingCall = nullptr;
    LPFN_WSAISBLOCKING WSAIsBlocking = nullptr;
    LPFN_WSASTARTUP WSAStartup = nullptr;
    LPFN_WSACLEANUP WSACleanup = nullptr;
    LPFN___WSAFDISSET WSAFDIsSet = nullptr;
};

// The full name of libwsock32.so in the folder of the module (program or library) that holds
// addressInModule, or just the file name when that folder cannot be told.
inline std::string WinsockPathBeside(const void* addressInModule) {
    Dl_info info{};
    std::string module;
    if (::dladdr(addressInModule, &info) != 0 && info.dli_fname != nullptr) module = info.dli_fname;
    size_t slash = module.rfind('/');
    if (slash == std::string::npos) return kWinsockLibraryName;
    return module.substr(0, slash + 1) + kWinsockLibraryName;
}

// Loads the library at path (RTLD_NOW | RTLD_LOCAL; it is never unloaded) and fills *api with
// every export. Returns false, with the reason in *error, when the file cannot be loaded or an
// export is missing; *api is then left with nulls where nothing was found.
inline bool LoadWinsockApi(const std::string& path, WinsockApi* api, std::string* error) {
    *api = WinsockApi{};
    error->clear();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    auto resolve = [&](auto& entry, int ordinal) {
        const char* name = WinsockExportName(ordinal);
        void* symbol = name != nullptr ? ::dlsym(handle, name) : nullptr;
        if (symbol == nullptr) *error += "ordinal " + std::to_string(ordinal) + " missing; ";
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(symbol);
    };
    resolve(api->accept, 1);
    resolve(api->bind, 2);
    resolve(api->closesocket, 3);
    resolve(api->connect, 4);
    resolve(api->getpeername, 5);
    resolve(api->getsockname, 6);
    resolve(api->getsockopt, 7);
    resolve(api->htonl, 8);
    resolve(api->htons, 9);
    resolve(api->inet_addr, 10);
    resolve(api->inet_ntoa, 11);
    resolve(api->ioctlsocket, 12);
    resolve(api->listen, 13);
    resolve(api->ntohl, 14);
    resolve(api->ntohs, 15);
    resolve(api->recv, 16);
    resolve(api->recvfrom, 17);
    resolve(api->select, 18);
    resolve(api->send, 19);
    resolve(api->sendto, 20);
    resolve(api->setsockopt, 21);
    resolve(api->shutdown, 22);
    resolve(api->socket, 23);
    resolve(api->gethostbyaddr, 51);
    resolve(api->gethostbyname, 52);
    resolve(api->getprotobyname, 53);
    resolve(api->getprotobynumber, 54);
    resolve(api->getservbyname, 55);
    resolve(api->getservbyport, 56);
    resolve(api->gethostname, 57);
    resolve(api->WSAAsyncSelect, 101);
    resolve(api->WSAAsyncGetHostByAddr, 102);
    resolve(api->WSAAsyncGetHostByName, 103);
    resolve(api->WSAAsyncGetProtoByNumber, 104);
    resolve(api->WSAAsyncGetProtoByName, 105);
    resolve(api->WSAAsyncGetServByPort, 106);
    resolve(api->WSAAsyncGetServByName, 107);
    resolve(api->WSACancelAsyncRequest, 108);
    resolve(api->WSASetBlockingHook, 109);
    resolve(api->WSAUnhookBlockingHook, 110);
    resolve(api->WSAGetLastError, 111);
    resolve(api->WSASetLastError, 112);
    resolve(api->WSACancelBlockingCall, 113);
    resolve(api->WSAIsBlocking, 114);
    resolve(api->WSAStartup, 115);
    resolve(api->WSACleanup, 116);
    resolve(api->WSAFDIsSet, 151);
    return error->empty();
}

}  // namespace quenda
