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

class UdpPort final : public SocketControl<IUDPPort> {
public:
    // A new control with its defaults applied through its own setters.
    UdpPort();
    ~UdpPort() override;

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
    HRESULT get_LocalPort(int32_t* value) override;
    HRESULT put_LocalPort(int32_t value) override;
    HRESULT get_MaxPacketSize(int32_t* value) override;
    HRESULT put_MaxPacketSize(int32_t value) override;
    HRESULT get_OutBufferSize(int32_t* value) override;
    HRESULT put_OutBufferSize(int32_t value) override;
    HRESULT get_RemoteHost(BSTR* value) override;
    HRESULT put_RemoteHost(BSTR value) override;
    HRESULT get_RemotePort(int32_t* value) override;
    HRESULT put_RemotePort(int32_t value) override;
    HRESULT get_ShareLocalPort(VARIANT_BOOL* value) override;
    HRESULT put_ShareLocalPort(VARIANT_BOOL value) override;
    HRESULT get_SocketHandle(int32_t* value) override;
    HRESULT put_SocketHandle(int32_t value) override;
    HRESULT get_UseConnection(VARIANT_BOOL* value) override;
    HRESULT put_UseConnection(VARIANT_BOOL value) override;
    HRESULT get_DataToSendB(VARIANT* value) override;
    HRESULT put_DataToSendB(VARIANT value) override;
    HRESULT get_DataInDatagramB(VARIANT* value) override;
    HRESULT put_DataInDatagramB(VARIANT value) override;

private:
    // SocketBehaviour
    void ReadLoop(ReadMode mode) override;
    int CloseSocket() override;

    int Open();
    int Send(std::string_view bytes);
    HRESULT PutBufferSize(int32_t* size, int option, int32_t value, uint32_t helpContext);
    // The address the open socket is bound to; false when closed or unreadable.
    bool BoundName(WS_sockaddr_in* bound) const;
    // RemoteHost and RemotePort as a socket address.
    WS_sockaddr_in RemoteName(const WinsockApi& ws) const;
    // Sets the message of a component code and returns the code.
    int Fail(int code);
    void RaiseDataIn(std::string_view datagram, uint32_t address, uint16_t port);

    uint32_t remoteAddress_ = 0;   // network order; all bits set = limited broadcast
    uint16_t remotePort_ = 0;
    uint16_t localPort_ = 0;       // 0 lets the system choose
    int32_t inBufferSize_ = 0;     // SO_RCVBUF
    int32_t outBufferSize_ = 0;    // SO_SNDBUF
    bool dontRoute_ = false;
    bool useConnection_ = false;
    bool shareLocalPort_ = false;
    const char* currentData_ = nullptr;  // the datagram of the running DataIn, else null
    uint32_t currentLength_ = 0;
};

}  // namespace quenda
