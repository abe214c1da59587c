// The upstream name-server list as plain data: 16 positions, of which 0 to 9 are used.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quenda {

// Positions the list has, and the positions the relay, the table and the settings use.
inline constexpr int kNameServerPositions = 16;
inline constexpr int kUsedNameServers = 10;

// One upstream name server.
struct NameServer {
    std::string address;      // dotted IPv4 text; "" marks an empty position
    std::string description;  // free text typed by the user
    bool enabled = false;     // the relay sends requests here only when true
    int16_t WINNING = 0;      // requests this server answered first (settings key _WINNING)
    int32_t ATIME = 0;        // sum of reply times in milliseconds (settings key _ATIME)
    int32_t NATIME = 0;       // number of replies summed in ATIME (settings key _NATIME)
    bool responded = false;   // the server replied since start-up or the last reset; not stored
};

// The whole list plus its list-wide total of first answers.
struct NameServerList {
    std::array<NameServer, kNameServerPositions> servers;
    int16_t NDNS = 0;  // total of first answers over all positions

    NameServer& operator[](int position) { return servers[static_cast<size_t>(position)]; }
    const NameServer& operator[](int position) const {
        return servers[static_cast<size_t>(position)];
    }
};

}  // namespace quenda
