// UDPPort: one IPv4 datagram socket bound to a local port, sending a datagram on every
// DataToSend and raising DataIn for every datagram that arrives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/socketbase/socket_control.h"
#include "controls/udpport/udpport_interface.h"

namespace quenda {

// The class the library registers and serves (udpport_library.cpp).
const ControlClassInfo& UdpPortClass();

inline constexpr SocketDispids kUdpSocketDispids = {
    kUdpDispAcceptData,
    kUdpDispActive,
    kUdpDispDataToSend,
    kUdpDispDontRoute,
    kUdpDispInBufferSize,
    kUdpDispLocalHost,
    kUdpDispOutBufferSize,
    kUdpDispRemoteHost,
    kUdpDispSocketHandle,
    kUdpDispUseConnection,
    kUdpDispWinsockInfo,
    kUdpDispWinsockLoaded,
    kUdpDispWinsockMaxDatagramSize,
    kUdpDispWinsockMaxSockets,
    kUdpDispWinsockPath,
    kUdpDispWinsockStatus,
    kUdpDispDataToSendB,
    kUdpDispOnStartPage,
    kUdpDispOnEndPage,
};

class UdpPort final : public SocketControl<IUDPPort> {
  public:
    // A new control with its defaults applied through its own setters.
    UdpPort();
    ~UdpPort() override;

    HRESULT get_LocalHost(BSTR* value) override;
    HRESULT get_LocalPort(int32_t* value) override;
    HRESULT put_LocalPort(int32_t value) override;
    HRESULT get_MaxPacketSize(int32_t* value) override;
    HRESULT put_MaxPacketSize(int32_t value) override;
    HRESULT get_RemotePort(int32_t* value) override;
    HRESULT put_RemotePort(int32_t value) override;
    HRESULT get_ShareLocalPort(VARIANT_BOOL* value) override;
    HRESULT put_ShareLocalPort(VARIANT_BOOL value) override;
    HRESULT get_DataInDatagramB(VARIANT* value) override;
    HRESULT put_DataInDatagramB(VARIANT value) override;

  private:
    // SocketControl
    int Open() override;
    int Send(std::string_view bytes) override;
    // SocketBehaviour
    void ReadLoop(ReadMode mode) override;
    int CloseSocket() override;

    // The address the open socket is bound to; false when closed or unreadable.
    bool BoundName(WS_sockaddr_in* bound) const;
    // RemoteHost and RemotePort as a socket address.
    WS_sockaddr_in RemoteName(const WinsockApi& ws) const;
    void RaiseDataIn(std::string_view datagram, uint32_t address, uint16_t port);

    uint16_t remotePort_ = 0;
    uint16_t localPort_ = 0;  // 0 lets the system choose
    bool shareLocalPort_ = false;
};

}  // namespace quenda
