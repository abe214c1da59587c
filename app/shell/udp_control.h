// The host's view of one UDPPort control: the property sets start-up makes, and sending.
#pragma once

#include <cstdint>

#include "app/relay/relay_ports.h"

namespace quenda {

// Each set returns 0 or the error number the host sees for the control's failure
// (20001 + component code, 15001 + Winsock code: 25049 for a port already in use).
class UdpControl : public DatagramPort {
  public:
    virtual int SetActive(bool active) = 0;
    virtual int SetLocalPort(int32_t port) = 0;
    virtual int SetWinsockLoaded(bool loaded) = 0;
};

// The error number of a port already in use.
inline constexpr int kAddressInUse = 25049;

// Opens UDPPort1 on any free port (upstream traffic) and UDPPort2 on the DNS service port:
// each is closed, given its port, told to load Winsock and opened. Returns the first failure
// (no further set is made then) or 0.
int OpenUdpEndpoints(UdpControl& upstream, UdpControl& service, uint16_t servicePort);

}  // namespace quenda
