// The TCP service's controls as the program holds them: IPDaemon and the IPPort control array
// driven late-bound (IDispatch::Invoke by DISPID), their events passed on to a TcpService.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/relay/tcp_service.h"
#include "platform/com/dispatch.h"

namespace quenda {

// Makes IPPort element index into *element (one reference for the caller); a failure leaves
// that element without a control, whose calls then do nothing.
using TcpElementFactory = std::function<HRESULT(int16_t index, IDispatch** element)>;

class TcpDispatchControls final {
  public:
    // Creates IPDaemon and IPPort element 0 (with makeElement, CreateIPPort when empty) and
    // advises an event sink on each. Events are dropped until Bind is called.
    explicit TcpDispatchControls(TcpElementFactory makeElement = {});
    // Unadvises the sinks and lets go of every control, which closes their sockets.
    ~TcpDispatchControls();
    TcpDispatchControls(const TcpDispatchControls&) = delete;
    TcpDispatchControls& operator=(const TcpDispatchControls&) = delete;

    // The sides TcpService is built on; valid as long as this object.
    TcpServerControl& Server();
    TcpClientArray& Clients();

    // The one IPv4 address the server listens on from its next start; "" (the default) is
    // every address.
    void ListenOn(const std::string& address);

    // Passes every later event of either control to service's handlers; nullptr drops them.
    // service must outlive the binding.
    void Bind(TcpService* service);

    // The last failed call to a control: its HRESULT (S_OK when none failed) and the
    // description of its error info ("" when it gave none). A DNS port in use reads as
    // 0x800A61D9, error number 25049.
    HRESULT LastFailure() const;
    const std::string& LastFailureText() const;

    // The controls themselves (no reference added; nullptr when not created).
    IDispatch* Daemon() const;
    IDispatch* Element(int index) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quenda
