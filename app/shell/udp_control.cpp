// Opening the relay's two UDP endpoints.
#include "app/shell/udp_control.h"

namespace quenda {
namespace {

int Open(UdpControl& control, int32_t port, const std::string& address) {
    if (const int result = control.SetActive(false)) return result;
    if (const int result = control.SetLocalPort(port)) return result;
    if (const int result = control.SetWinsockLoaded(true)) return result;
    if (const int result = control.SetLocalHost(address)) return result;
    if (const int result = control.SetMaxPacketSize(kUdpMaxPacketSize)) return result;
    // Optional: a smaller buffer only loses more of a burst.
    (void)control.SetInBufferSize(kUdpInBufferSize);
    return control.SetActive(true);
}

}  // namespace

int OpenUdpEndpoints(UdpControl& upstream, UdpControl& service, uint16_t servicePort,
                     const std::string& serviceAddress) {
    if (const int result = Open(upstream, 0, "")) return result;
    return Open(service, servicePort, serviceAddress);
}

}  // namespace quenda
