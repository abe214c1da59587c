// The program's side of one UDPPort control: created by ProgID (registering libtarnel.so
// when the class is missing), driven through its dual interface, DataIn received through a
// connection-point sink.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/shell/udp_control.h"
#include "controls/udpport/udpport_interface.h"
#include "platform/com/event_sink.h"
#include "platform/com/unknown.h"

namespace quenda {

class UdpPortControl final : public UdpControl {
  public:
    // One datagram (its bytes), the sender's dotted address and port.
    using DataInHandler =
        std::function<void(std::string_view datagram, const std::string& address, uint16_t port)>;
    // The Error event: a failure found while receiving (its Winsock or component code and text).
    using ErrorHandler = std::function<void(int code, const std::string& description)>;

    // A new control with its defaults (inactive, Winsock loaded). When UDPPort.UDPPort.1 is
    // not registered, or registered with a library other than libraryPath (the full name of
    // libtarnel.so) or one that does not exist, libraryPath is registered first.
    // Returns null with the failing HRESULT in *result (S_OK on success, result may be null).
    static std::unique_ptr<UdpPortControl> Create(const std::string& libraryPath,
                                                  HRESULT* result = nullptr);
    ~UdpPortControl() override;
    UdpPortControl(const UdpPortControl&) = delete;
    UdpPortControl& operator=(const UdpPortControl&) = delete;

    // Called inside every DataIn event; may send on this control and may close it (the close
    // then happens when the handler returns).
    void SetDataInHandler(DataInHandler handler) { onDataIn_ = std::move(handler); }
    void SetErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }

    // Each returns 0 or the host error number (20001 + component code, 15001 + Winsock code).
    int SetActive(bool active) override;
    int SetLocalPort(int32_t port) override;
    int SetLocalHost(const std::string& address) override;
    int SetWinsockLoaded(bool loaded) override;
    int SetMaxPacketSize(int32_t bytes) override;
    int SetInBufferSize(int32_t bytes) override;
    int32_t GrantedInBufferSize() override;

    bool IsActive() override;
    // Sets RemoteHost and RemotePort only when they differ from the last ones set, then
    // DataToSend. Failures are kept in LastError(), never returned.
    void SendDatagram(const std::string& host, uint16_t port, std::string_view data) override;

    // The host error number and text of the last failed call (0 and "" when none failed).
    int LastError() const { return lastError_; }
    const std::string& LastErrorText() const { return lastErrorText_; }

    // The control itself, for members this class does not wrap.
    IUDPPort* Control() const { return control_.Get(); }

  private:
    UdpPortControl() = default;
    int Result(HRESULT hr);
    void OnEvent(DISPID id, const DISPPARAMS& params);
    void RaiseDataIn(std::string_view datagram, const std::string& address, uint16_t port);
    void RaiseError(int code, const std::string& description);

    ComPtr<IUDPPort> control_;
    EventConnection events_;
    std::string remoteHost_;  // as last set successfully
    uint16_t remotePort_ = 0;
    bool remoteKnown_ = false;  // remoteHost_ and remotePort_ match the control
    int lastError_ = 0;
    std::string lastErrorText_;
    DataInHandler onDataIn_;
    ErrorHandler onError_;
};

}  // namespace quenda
