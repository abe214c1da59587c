// The small interfaces through which the relay reaches sockets, the cache, the log and the
// windows; the program passes real ones, tests pass fakes that record what happens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

// One UDP endpoint: UDPPort1 (upstream) or UDPPort2 (clients).
class DatagramPort {
  public:
    virtual ~DatagramPort() = default;
    // The endpoint is open.
    virtual bool IsActive() = 0;
    // Sends one datagram to host:port; failures are the endpoint's business, never the caller's.
    virtual void SendDatagram(const std::string& host, uint16_t port, std::string_view data) = 0;
};

// The cache database as the relay uses it. Keys are question keys; replies are byte strings.
class RelayCache {
  public:
    virtual ~RelayCache() = default;
    // The stored reply for key, or "" when nothing is stored.
    virtual std::string CacheLookup(const std::string& key) = 0;
    virtual void CacheStore(const std::string& key, std::string_view reply) = 0;
};

// Message IDs for the queries the relay sends upstream.
class MessageIdSource {
  public:
    virtual ~MessageIdSource() = default;
    // A fresh 16-bit message ID nobody outside can predict.
    virtual uint16_t NextMessageId() = 0;
};

// The window side of the relay.
class RelayHooks {
  public:
    virtual ~RelayHooks() = default;
    // Lets pending window messages run; events and timer ticks may nest inside.
    virtual void ProcessPendingMessages() = 0;
    // Redraws the name-server list; it ages the first-answer counts (AgeServerWins) first.
    virtual void MakeListView() = 0;
    // The host entry editor's look at every upstream datagram; true when it took the datagram.
    virtual bool UpdateEntryDataNameserver(std::string_view datagram) = 0;
    // A message box with the critical-error icon.
    virtual void ShowCriticalError(const std::string& title, const std::string& text) = 0;
};

}  // namespace quenda
