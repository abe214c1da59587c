// The program's side of one ICMPPort control: created by ProgID (registering libpellin.so
// when the class is missing), driven through its dual interface, DataIn received through a
// connection-point sink.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/shell/icmp_control.h"
#include "controls/icmpport/icmpport_interface.h"
#include "platform/com/event_sink.h"
#include "platform/com/unknown.h"

namespace quenda {

class IcmpPortControl final : public IcmpControl {
  public:
    // One ICMP message: its type and code, the data after its 4-byte header (one byte per
    // character), whether its checksum was intact, and the sender's dotted address.
    using DataInHandler = std::function<void(int type, int code, std::string_view data,
                                             bool checksumIntact, const std::string& address)>;

    // A new control with its defaults (inactive, Winsock loaded). When ICMPPort.ICMPPort.1 is
    // not registered with libraryPath (the full name of libpellin.so), libraryPath is
    // registered first. Returns null with the failing HRESULT in *result (S_OK on success,
    // result may be null).
    static std::unique_ptr<IcmpPortControl> Create(const std::string& libraryPath,
                                                   HRESULT* result = nullptr);
    ~IcmpPortControl() override;
    IcmpPortControl(const IcmpPortControl&) = delete;
    IcmpPortControl& operator=(const IcmpPortControl&) = delete;

    // Called inside every DataIn event.
    void SetDataInHandler(DataInHandler handler) { onDataIn_ = std::move(handler); }

    int SetWinsockLoaded(bool loaded) override;
    int SetRemoteHost(const std::string& host) override;
    bool IsActive() override;
    int SetActive(bool active) override;
    int SetMessageType(int16_t type) override;
    int SetMessageSubType(int16_t code) override;
    int SendMessage(std::string_view data) override;
    std::string LastErrorText() const override { return lastErrorText_; }

    IICMPPort* Control() const { return control_.Get(); }

  private:
    IcmpPortControl() = default;
    int Result(HRESULT hr);
    void OnEvent(DISPID id, const DISPPARAMS& params);

    ComPtr<IICMPPort> control_;
    EventConnection events_;
    std::string lastErrorText_;
    DataInHandler onDataIn_;
};

}  // namespace quenda
