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

class IcmpPort final : public SocketControl<IICMPPort> {
public:
    // A new control with its defaults applied through its own setters.
    IcmpPort();
    ~IcmpPort() override;

    HRESULT get_AcceptData(VARIANT_BOOL* value) override;
    HRESULT put_AcceptData(VARIANT_BOOL value) override;
    HRESULT get_Active(VARIANT_BOOL* value) override;
    HRESULT put_Active(VARIANT_BOOL value) override;
    HRESULT get_DataToSend(BSTR* value) override;
    HRESULT put_DataToSend(BSTR value) override;
    HRESULT get_DontRoute(VARIANT_BOOL* value) override;
    HRESULT put_DontRoute(VARIANT_BOOL value) override;
    HRESULT get_InBufferSize(int32_t* value) override;
    HRESULT put_InBufferSize(int32_t value) override;
    HRESULT get_LocalHost(BSTR* value) override;
    HRESULT put_LocalHost(BSTR value) override;
    HRESULT get_MaxMessageSize(int32_t* value) override;
    HRESULT put_MaxMessageSize(int32_t value) override;
    HRESULT get_MessageSubType(int16_t* value) override;
    HRESULT put_MessageSubType(int16_t value) override;
    HRESULT get_MessageType(int16_t* value) override;
    HRESULT put_MessageType(int16_t value) override;
    HRESULT get_OutBufferSize(int32_t* value) override;
    HRESULT put_OutBufferSize(int32_t value) override;
    HRESULT get_RemoteHost(BSTR* value) override;
    HRESULT put_RemoteHost(BSTR value) override;
    HRESULT get_SocketHandle(int32_t* value) override;
    HRESULT put_SocketHandle(int32_t value) override;
    HRESULT get_TimeToLive(int32_t* value) override;
    HRESULT put_TimeToLive(int32_t value) override;
    HRESULT get_UseConnection(VARIANT_BOOL* value) override;
    HRESULT put_UseConnection(VARIANT_BOOL value) override;
    HRESULT get_DataToSendB(VARIANT* value) override;
    HRESULT put_DataToSendB(VARIANT value) override;
    HRESULT get_DataInMessageDataB(VARIANT* value) override;
    HRESULT put_DataInMessageDataB(VARIANT value) override;

private:
    // SocketBehaviour
    void ReadLoop(ReadMode mode) override;
    int CloseSocket() override;

    int Open();
    // Frames data with the current type and code and sends it to the remote address.
    int Send(std::string_view data);
    HRESULT PutSocketOption(int option, int32_t value, uint32_t helpContext);
    // Sets the stored time to live on the open socket; when refused, the stored value becomes
    // the socket's own. Returns 0 or the Winsock error.
    int ApplyTimeToLive();
    // Sets the message of a component code and returns the code.
    int Fail(int code);
    // One ICMP message (header and data) read from address: DataIn, or Error when too short.
    // False when the read loop must end.
    bool Deliver(std::string_view message, uint32_t address);
    void RaiseDataIn(std::string_view message, uint32_t address);

    uint32_t remoteAddress_ = 0;   // network order; 0 = none
    uint8_t messageType_ = 0;      // ICMP type of messages sent
    uint8_t messageCode_ = 0;      // ICMP code of messages sent
    uint16_t timeToLive_ = 0;      // 0 leaves the system's default
    uint16_t maxMessageSize_ = 0;  // data bytes a message may carry, 0-65531
    int32_t inBufferSize_ = 0;     // SO_RCVBUF
    int32_t outBufferSize_ = 0;    // SO_SNDBUF
    bool dontRoute_ = false;
    bool useConnection_ = false;
    bool inDataIn_ = false;        // a DataIn is running; currentData_ is its message data
    std::string_view currentData_; // data after the header of the running DataIn
};

}  // namespace quenda
