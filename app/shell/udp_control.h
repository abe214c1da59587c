// The host's view of one UDPPort control: the property sets start-up makes, and sending.
#pragma once

#include <cstdint>
#include <string>

#include "app/relay/relay_ports.h"

namespace quenda {

// Each set returns 0 or the error number the host sees for the control's failure
// (20001 + component code, 15001 + Winsock code: 25049 for a port already in use).
class UdpControl : public DatagramPort {
  public:
    virtual int SetActive(bool active) = 0;
    virtual int SetLocalPort(int32_t port) = 0;
    // The one IPv4 address to bind, "" for every address; needs Winsock loaded.
    virtual int SetLocalHost(const std::string& address) = 0;
    virtual int SetWinsockLoaded(bool loaded) = 0;
    // The largest datagram taken whole; larger ones are lost with an Error event. Only while
    // the control is not active.
    virtual int SetMaxPacketSize(int32_t bytes) = 0;
    // Asks for a receive buffer of this many bytes; an open socket gets it at once, a closed
    // one when it opens. Where the system caps the size, the capped size is kept (see
    // GrantedInBufferSize), which is no failure.
    virtual int SetInBufferSize(int32_t bytes) = 0;
    // Bytes of datagrams the open socket's receive buffer holds, or -1 when it is not open.
    virtual int32_t GrantedInBufferSize() = 0;
};

// The error number of a port already in use.
inline constexpr int kAddressInUse = 25049;

// The receive buffer both endpoints ask for: room for a whole table of pending requests, so
// that a burst waits in the kernel instead of being dropped there while the relay is busy.
inline constexpr int32_t kUdpInBufferSize = 4 * 1024 * 1024;

// The largest datagram both endpoints take whole: any a UDP header can describe, so large
// EDNS replies (DNSSEC keys, long TXT records) reach their clients.
inline constexpr int32_t kUdpMaxPacketSize = 65535;

// Opens UDPPort1 on any free port of every address (upstream traffic) and UDPPort2 on the DNS
// service port of serviceAddress ("" = every address): each is closed, given its port, told
// to load Winsock, given its address, kUdpMaxPacketSize and a receive buffer of
// kUdpInBufferSize, and opened. Returns the first failure (no further set is made then) or 0;
// a buffer size the control refuses is no failure.
int OpenUdpEndpoints(UdpControl& upstream, UdpControl& service, uint16_t servicePort,
                     const std::string& serviceAddress = "");

}  // namespace quenda
