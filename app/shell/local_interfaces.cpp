// The host's addresses from its interfaces and its name.
#include "app/shell/local_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <string>

namespace quenda {
namespace {

void AddNew(LocalAddresses& local, const std::string& address) {
    if (!local.IsLocalAddress(address)) local.Add(address);
}

void AddInterfaceAddresses(LocalAddresses& local) {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return;
    for (const ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr)
            AddNew(local, text);
    }
    freeifaddrs(interfaces);
}

std::string Trimmed(const char* text) {
    std::string value(text);
    const size_t first = value.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool CheckWinsock(const WinsockApi* api, LogSink& log) {
    WSADATA data{};
    const bool started =
        api != nullptr && api->WSAStartup != nullptr && api->WSAStartup(0x0101, &data) == 0;
    const int major = data.wVersion & 0xFF;
    const int minor = data.wVersion >> 8;
    if (!started || major < 1 || (major == 1 && minor < 1) || data.iMaxSockets == 0) {
        log.WriteLog(kWinsockFailureText, 1);
        return false;
    }
    return true;
}

int CollectLocalAddresses(const WinsockApi* api, LocalAddresses& local, LogSink& log) {
    AddInterfaceAddresses(local);
    if (!CheckWinsock(api, log)) return 0;
    char name[256] = {};
    if (api->gethostname(name, sizeof name) != 0) {
        log.WriteLog(kWinsockFailureText, 1);
        return 0;
    }
    name[sizeof name - 1] = '\0';
    const WS_hostent* host = api->gethostbyname(Trimmed(name).c_str());
    if (host == nullptr || host->h_addr_list == nullptr) {
        log.WriteLog(kWinsockFailureText, 1);
        return 0;
    }
    for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
        const auto* octets = reinterpret_cast<const unsigned char*>(*entry);
        AddNew(local, std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
                          std::to_string(octets[2]) + "." + std::to_string(octets[3]));
    }
    if (api->WSACleanup() != 0) log.WriteLog(kWinsockFailureText, 1);
    return 1;
}

}  // namespace quenda
