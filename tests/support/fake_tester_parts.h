// Fakes of what the name-server tester drives besides a UDP control: the ICMP control and the
// program's help.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/shell/help_host.h"
#include "app/shell/icmp_control.h"

namespace quenda::test {

// Records the sets and the messages sent; opening fails with failOpen when it is not 0.
class FakeIcmpControl final : public IcmpControl {
  public:
    int SetWinsockLoaded(bool loaded) override {
        winsockLoaded = loaded;
        return 0;
    }
    int SetRemoteHost(const std::string& host) override {
        remoteHost = host;
        return 0;
    }
    bool IsActive() override { return active; }
    int SetActive(bool on) override {
        if (on && failOpen != 0) return failOpen;
        active = on;
        return 0;
    }
    int SetMessageType(int16_t value) override {
        type = value;
        return 0;
    }
    int SetMessageSubType(int16_t value) override {
        code = value;
        return 0;
    }
    int SendMessage(std::string_view data) override {
        if (!active) return 20110;
        sent.emplace_back(data);
        return 0;
    }
    std::string LastErrorText() const override { return "Permission denied"; }

    bool winsockLoaded = false, active = false;
    int failOpen = 0;
    std::string remoteHost;
    int16_t type = -1, code = -1;
    std::vector<std::string> sent;
};

// Starts at the Server tab's context and records the contexts help was opened at.
struct FakeHelp final : HelpHost {
    int HelpContext() const override { return context; }
    void SetHelpContext(int value) override { context = value; }
    void OpenHelp() override { opened.push_back(context); }
    int context = 1006;
    std::vector<int> opened;
};

}  // namespace quenda::test
