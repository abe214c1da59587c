// The host's view of one ICMPPort control: the property sets that send ICMP messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

// Each set returns 0 or the error number the host sees for the control's failure
// (20001 + component code, 15001 + Winsock code: 25014 when no ICMP socket may be opened).
class IcmpControl {
  public:
    virtual ~IcmpControl() = default;
    virtual int SetWinsockLoaded(bool loaded) = 0;
    // A dotted address or a host name; "" for none.
    virtual int SetRemoteHost(const std::string& host) = 0;
    virtual bool IsActive() = 0;
    virtual int SetActive(bool active) = 0;
    // The ICMP type and code of the messages sent from now on (low 8 bits each).
    virtual int SetMessageType(int16_t type) = 0;
    virtual int SetMessageSubType(int16_t code) = 0;
    // Sends one ICMP message: the header, then data unchanged.
    virtual int SendMessage(std::string_view data) = 0;
    // The text of the last failure ("" when none failed).
    virtual std::string LastErrorText() const = 0;
};

}  // namespace quenda
