// Learns this host's own IPv4 addresses: every interface's, then what the host name resolves
// to through Winsock, so that the host is never taken as one of its own name servers.
#pragma once

#include "app/config/address_check.h"
#include "app/log/log_sink.h"
#include "platform/winsock/winsock_api.h"

namespace quenda {

inline constexpr const char* kWinsockFailureText =
    "Unable to initialise winsock.dll. Check your Internet setup.";

// Starts Winsock 1.1 through api; false, with kWinsockFailureText logged at level 1, when it
// does not start, grants less than 1.1 or reports no sockets. api may be null (not loaded).
bool CheckWinsock(const WinsockApi* api, LogSink& log);

// Appends to local, leaving out addresses already there: the IPv4 address of every interface,
// then the addresses the host name resolves to. Returns 1 when the name look-up worked, 0 when a
// Winsock step failed (logged at level 1; the interface addresses are kept).
int CollectLocalAddresses(const WinsockApi* api, LocalAddresses& local, LogSink& log);

}  // namespace quenda
