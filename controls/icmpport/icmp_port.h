// ICMPPort: one raw IPv4 ICMP socket, sending one framed ICMP message on every DataToSend and
// raising DataIn for every ICMP message that reaches the socket.
#pragma once

#include <cstdint>
#include <string_view>

#include "controls/icmpport/icmpport_interface.h"
#include "controls/socketbase/socket_control.h"

namespace quenda {

// The class the library registers and serves (icmpport_library.cpp).
const ControlClassInfo& IcmpPortClass();

inline constexpr SocketDispids kIcmpSocketDispids = {
    kIcmpDispAcceptData,
    kIcmpDispActive,
    kIcmpDispDataToSend,
    kIcmpDispDontRoute,
    kIcmpDispInBufferSize,
    kIcmpDispLocalHost,
    kIcmpDispOutBufferSize,
    kIcmpDispRemoteHost,
    kIcmpDispSocketHandle,
    kIcmpDispUseConnection,
    kIcmpDispWinsockInfo,
    kIcmpDispWinsockLoaded,
    kIcmpDispWinsockMaxDatagramSize,
    kIcmpDispWinsockMaxSockets,
    kIcmpDispWinsockPath,
    kIcmpDispWinsockStatus,
    kIcmpDispDataToSendB,
    kIcmpDispOnStartPage,
    kIcmpDispOnEndPage,
};

class IcmpPort final : public SocketControl<IICMPPort> {
  public:
    // A new control with its defaults applied through its own setters.
    IcmpPort();
    ~IcmpPort() override;

    HRESULT get_LocalHost(BSTR* value) override;
    HRESULT get_MaxMessageSize(int32_t* value) override;
    HRESULT put_MaxMessageSize(int32_t value) override;
    HRESULT get_MessageSubType(int16_t* value) override;
    HRESULT put_MessageSubType(int16_t value) override;
    HRESULT get_MessageType(int16_t* value) override;
    HRESULT put_MessageType(int16_t value) override;
    HRESULT get_TimeToLive(int32_t* value) override;
    HRESULT put_TimeToLive(int32_t value) override;
    HRESULT get_DataInMessageDataB(VARIANT* value) override;
    HRESULT put_DataInMessageDataB(VARIANT value) override;

  private:
    // SocketControl: Send frames the data with the current type and code.
    int Open() override;
    int Send(std::string_view data) override;
    // SocketBehaviour
    void ReadLoop(ReadMode mode) override;
    int CloseSocket() override;

    // Sets the stored time to live on the open socket; when refused, the stored value becomes
    // the socket's own. Returns 0 or the Winsock error.
    int ApplyTimeToLive();
    // RemoteHost as a socket address (ICMP has no ports).
    WS_sockaddr_in RemoteName() const;
    // One ICMP message (header and data) read from address: DataIn, or Error when too short.
    // False when the read loop must end.
    bool Deliver(std::string_view message, uint32_t address);
    void RaiseDataIn(std::string_view message, uint32_t address);

    uint8_t messageType_ = 0;      // ICMP type of messages sent
    uint8_t messageCode_ = 0;      // ICMP code of messages sent
    uint16_t timeToLive_ = 0;      // 0 leaves the system's default
    uint16_t maxMessageSize_ = 0;  // data bytes a message may carry, 0-65531
};

}  // namespace quenda
