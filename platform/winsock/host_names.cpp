// Host, service and protocol look-ups, answered in per-thread records as Winsock does.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winsock/socket_table.h"
#include "platform/winsock/winsock_errors.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

constexpr size_t kMaxHostAddresses = 35;  // what Winsock's host records hold at most

// Backing store of the one host record a thread gets; the next look-up overwrites it.
struct HostRecord {
    WS_hostent entry{};
    std::string name;
    std::vector<uint32_t> addresses;  // network order
    std::vector<char*> addressList;   // pointers into addresses, null-terminated
    char* noAliases[1] = {nullptr};
};

thread_local HostRecord hostRecord;

WS_hostent* FillHostRecord(const std::string& name, const std::vector<uint32_t>& addresses) {
    HostRecord& record = hostRecord;
    record.name = name;
    record.addresses = addresses;
    record.addressList.clear();
    for (uint32_t& address : record.addresses) {
        record.addressList.push_back(reinterpret_cast<char*>(&address));
    }
    record.addressList.push_back(nullptr);
    record.entry.h_name = record.name.data();
    record.entry.h_aliases = record.noAliases;
    record.entry.h_addrtype = WS_AF_INET;
    record.entry.h_length = 4;
    record.entry.h_addr_list = record.addressList.data();
    return &record.entry;
}

struct ProtocolName {
    const char* name;
    const char* alias;
    int number;
};

// The protocols a Winsock 1.1 program asks for by name, as /etc/protocols lists them.
constexpr ProtocolName kProtocols[] = {
    {"ip", "IP", 0}, {"icmp", "ICMP", 1}, {"tcp", "TCP", 6}, {"udp", "UDP", 17}};

struct ProtocolRecord {
    WS_protoent entry{};
    std::string name;
    std::string alias;
    char* aliases[2] = {nullptr, nullptr};
};

thread_local ProtocolRecord protocolRecord;

WS_protoent* FillProtocolRecord(const ProtocolName& protocol) {
    ProtocolRecord& record = protocolRecord;
    record.name = protocol.name;
    record.alias = protocol.alias;
    record.aliases[0] = record.alias.data();
    record.entry.p_name = record.name.data();
    record.entry.p_aliases = record.aliases;
    record.entry.p_proto = static_cast<int16_t>(protocol.number);
    return &record.entry;
}

struct ServiceRecord {
    WS_servent entry{};
    std::string name;
    std::string protocol;
    std::vector<std::string> aliases;
    std::vector<char*> aliasList;
};

thread_local ServiceRecord serviceRecord;

WS_servent* FillServiceRecord(const servent& found) {
    ServiceRecord& record = serviceRecord;
    record.name = found.s_name != nullptr ? found.s_name : "";
    record.protocol = found.s_proto != nullptr ? found.s_proto : "";
    record.aliases.clear();
    for (char** alias = found.s_aliases; alias != nullptr && *alias != nullptr; ++alias) {
        record.aliases.emplace_back(*alias);
    }
    record.aliasList.clear();
    for (std::string& alias : record.aliases) record.aliasList.push_back(alias.data());
    record.aliasList.push_back(nullptr);
    record.entry.s_name = record.name.data();
    record.entry.s_aliases = record.aliasList.data();
    record.entry.s_port = static_cast<int16_t>(found.s_port);  // already network order
    record.entry.s_proto = record.protocol.data();
    return &record.entry;
}

// False, with WSANOTINITIALISED set, before start-up.
bool Started() {
    if (IsStarted()) return true;
    Fail(WSANOTINITIALISED);
    return false;
}

// Runs a reentrant services-file look-up into a per-thread record; null with WSANO_DATA when
// the service is not listed.
template <class LookUp>
WS_servent* FindService(LookUp lookUp) {
    servent found{};
    servent* result = nullptr;
    char buffer[1024];
    if (lookUp(&found, buffer, sizeof buffer, &result) != 0 || result == nullptr) {
        Fail(WSANO_DATA);
        return nullptr;
    }
    return FillServiceRecord(found);
}

bool LocalHostName(std::string* name) {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
    *name = buffer;
    return true;
}

}  // namespace

WS_hostent* GetHostByName(const char* name) {
    if (!Started()) return nullptr;
    // No name, or an empty one, asks for this host, as on Windows.
    std::string wanted = name != nullptr ? name : "";
    if (wanted.empty() && !LocalHostName(&wanted)) {
        Fail(WinsockErrorFromErrno(errno));
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;  // one answer per address, not one per socket type
    hints.ai_flags = AI_CANONNAME;
    addrinfo* answers = nullptr;
    int result = ::getaddrinfo(wanted.c_str(), nullptr, &hints, &answers);
    if (result != 0) {
        Fail(WinsockErrorFromResolver(result, errno));
        return nullptr;
    }
    std::string official = wanted;
    std::vector<uint32_t> addresses;
    for (addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
        if (answer->ai_canonname != nullptr && answer == answers) official = answer->ai_canonname;
        if (answer->ai_family != AF_INET || answer->ai_addrlen < sizeof(sockaddr_in)) continue;
        uint32_t address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (uint32_t known : addresses) seen = seen || known == address;
        if (!seen && addresses.size() < kMaxHostAddresses) addresses.push_back(address);
    }
    ::freeaddrinfo(answers);
    if (addresses.empty()) {
        Fail(WSANO_DATA);
        return nullptr;
    }
    return FillHostRecord(official, addresses);
}

WS_hostent* GetHostByAddr(const char* addr, int len, int type) {
    if (!Started()) return nullptr;
    if (addr == nullptr || len < 4) {
        Fail(WSAEFAULT);
        return nullptr;
    }
    if (type != WS_AF_INET) {
        Fail(WSAEAFNOSUPPORT);
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr.s_addr, addr, 4);
    char host[NI_MAXHOST] = {};
    int result = ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (result != 0) {
        Fail(WinsockErrorFromResolver(result, errno));
        return nullptr;
    }
    return FillHostRecord(host, {address.sin_addr.s_addr});
}

int GetHostName(char* name, int namelen) {
    if (!IsStarted()) return Fail(WSANOTINITIALISED);
    if (name == nullptr || namelen <= 0) return Fail(WSAEFAULT);
    std::string local;
    if (!LocalHostName(&local)) return Fail(WinsockErrorFromErrno(errno));
    if (local.size() + 1 > static_cast<size_t>(namelen)) return Fail(WSAEFAULT);
    std::memcpy(name, local.c_str(), local.size() + 1);
    return 0;
}

WS_protoent* GetProtoByName(const char* name) {
    if (!Started()) return nullptr;
    if (name != nullptr) {
        for (const ProtocolName& protocol : kProtocols) {
            if (std::strcmp(name, protocol.name) == 0 || std::strcmp(name, protocol.alias) == 0) {
                return FillProtocolRecord(protocol);
            }
        }
    }
    Fail(WSANO_DATA);
    return nullptr;
}

WS_protoent* GetProtoByNumber(int number) {
    if (!Started()) return nullptr;
    for (const ProtocolName& protocol : kProtocols) {
        if (protocol.number == number) return FillProtocolRecord(protocol);
    }
    Fail(WSANO_DATA);
    return nullptr;
}

WS_servent* GetServByName(const char* name, const char* proto) {
    if (!Started()) return nullptr;
    if (name == nullptr) {
        Fail(WSAEFAULT);
        return nullptr;
    }
    return FindService([&](servent* found, char* buffer, size_t size, servent** result) {
        return ::getservbyname_r(name, proto, found, buffer, size, result);
    });
}

WS_servent* GetServByPort(int port, const char* proto) {
    if (!Started()) return nullptr;
    return FindService([&](servent* found, char* buffer, size_t size, servent** result) {
        return ::getservbyport_r(port, proto, found, buffer, size, result);
    });
}

}  // namespace quenda::wsock
