// The TCP DNS service: every client connection gets its own connection to the best name
// server, and bytes are copied both ways untouched until either side closes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/config/name_server_list.h"
#include "app/log/log_sink.h"
#include "app/relay/relay_ports.h"
#include "app/relay/udp_relay.h"
#include "platform/tick/tick.h"

namespace quenda {

// Connections served at once; a further client connection is closed at once.
inline constexpr int kMaxTcpConnections = 256;
// Client bytes held while the upstream connection is being made; more closes the client.
inline constexpr size_t kMaxTcpPendingBytes = 65537;
// A client connection is closed when it has not delivered a complete query this long after
// it opened or after it began its last query...
inline constexpr Tick kTcpQueryTimeoutMs = 10000;
// ...and when nothing came from either side this long after its last complete query or the
// last answer bytes (idle clients give their slot back).
inline constexpr Tick kTcpIdleTimeoutMs = 30000;

// Follows the framing of a DNS stream over TCP (every message behind its two-octet length).
class TcpFraming {
  public:
    // Takes the next bytes of the stream; the number of messages they complete.
    int Feed(std::string_view data);
    // True while a message has begun and is not complete.
    bool InMessage() const { return lengthOctets_ != 0 || bodyLeft_ != 0; }

  private:
    int lengthOctets_ = 0;   // octets of the length seen (0 or 1)
    uint32_t length_ = 0;    // the length's first octet while lengthOctets_ is 1
    uint32_t bodyLeft_ = 0;  // octets of the current message still to come
};

// The TCP server control (IPDaemon).
class TcpServerControl {
  public:
    virtual ~TcpServerControl() = default;
    // Listens on port from now on; 0, or the host error number of the failure (25049 for a
    // port in use).
    virtual int StartListening(uint16_t port) = 0;
    // Sends data on the client connection id.
    virtual void SendToConnection(int id, std::string_view data) = 0;
    // Closes the client connection id.
    virtual void CloseConnection(int id) = 0;
};

// One element of the TCP client control array (IPPort); it reports connected, data and
// disconnected with its element index, and gives up a connection attempt after 10 seconds
// by reporting disconnected.
class TcpClientControl {
  public:
    virtual ~TcpClientControl() = default;
    virtual void SetOption(bool on) = 0;
    virtual void SetRemoteHost(const std::string& host) = 0;
    virtual void SetRemotePort(uint16_t port) = 0;
    // true connects, false disconnects.
    virtual void SetConnected(bool connect) = 0;
    virtual void Send(std::string_view data) = 0;
};

// The control array: element 0 exists from the start, the others are created on demand.
// References to elements stay valid while the array lives.
class TcpClientArray {
  public:
    virtual ~TcpClientArray() = default;
    virtual TcpClientControl& Element(int index) = 0;
    virtual void CreateElement(int index) = 0;
};

class TcpService {
  public:
    TcpService(TcpServerControl& server, TcpClientArray& clients, UdpRelay& relay,
               NameServerList& servers, LogSink& log, RelayHooks& hooks, Clock& clock,
               uint16_t upstreamPort = kDnsPort)
        : server_(server),
          clients_(clients),
          relay_(relay),
          servers_(servers),
          log_(log),
          hooks_(hooks),
          clock_(clock),
          upstreamPort_(upstreamPort) {}

    // Forgets every slot and starts listening on port; 0 or the listening failure's number.
    int StartTcpService(uint16_t port);

    void HandleTcpConnectionRequest();
    void HandleTcpConnected(int id);
    void HandleTcpData(int id, std::string_view data);
    void HandleTcpDisconnected(int id);
    void HandleUpstreamConnected(int index);
    void HandleUpstreamData(int index, std::string_view data);
    void HandleUpstreamDisconnected(int index);

    // Closes every client connection past its query or idle time-out (see kTcpQueryTimeoutMs
    // and kTcpIdleTimeoutMs) with its upstream connection; the slot is freed when the upstream
    // connection reports closed. Called every few seconds.
    void CloseIdleConnections();

    // The highest free slot, or a new one; the client array grows with the slots.
    int AllocateTcpSlot();
    // The highest slot serving connection id, or -1.
    int FindTcpSlot(int id) const;

    int TcpMaxSlot() const { return static_cast<int>(slots_.size()) - 1; }
    int BoundSlots() const;

  private:
    struct Slot {
        int connectionId = 0;     // client connection served; -1 = free
        bool connected = false;   // upstream connection established
        std::string pendingData;  // client bytes waiting for the upstream connection
        bool clientOpen = true;   // the client connection has not closed yet
        bool queried = false;     // the client has delivered a complete query
        TcpFraming framing;       // where the client's stream stands
        Tick since = 0;           // start of the wait the time-outs measure

        static Slot Freed() {
            Slot slot;
            slot.connectionId = -1;
            slot.clientOpen = false;
            return slot;
        }
    };

    // Closes slot s's client connection and its upstream connection.
    void CloseBoth(int s);

    TcpServerControl& server_;
    TcpClientArray& clients_;
    UdpRelay& relay_;
    NameServerList& servers_;
    LogSink& log_;
    RelayHooks& hooks_;
    Clock& clock_;
    uint16_t upstreamPort_;
    std::vector<Slot> slots_;
};

}  // namespace quenda
