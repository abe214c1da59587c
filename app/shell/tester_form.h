// The name-server tester's logic without widgets: one DNS lookup and one ping to a chosen
// server sent at once, their answers matched and timed, progress and time-outs on a 500 ms
// timer, the tips, and the help context while the dialog is open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/config/address_check.h"
#include "app/config/name_server_list.h"
#include "app/log/log_sink.h"
#include "app/relay/relay_ports.h"
#include "app/shell/help_host.h"
#include "app/shell/icmp_control.h"
#include "app/shell/udp_control.h"
#include "platform/tick/tick.h"
#include "platform/ui/message_service.h"

namespace quenda {

inline constexpr int kTesterTimerMs = 500;
inline constexpr uint32_t kTesterTimeoutMs = 20000;
inline constexpr const char* kTesterDefaultDomain = "www.debian.org";
inline constexpr const char* kInvalidServerTitle = "Invalid DNS Server";

// What the dialog shows; the view draws it after every call into the form.
struct TesterFace {
    std::vector<std::string> servers;  // Combo1's items: address padded to 16, description
    std::string lookupTime;            // LTime: "12ms", "??????", "Timeout" or ""
    std::string pingTime;              // PTime likewise
    bool lookupOkay = false;           // TestImage: the okay picture, else the sleeping one
    bool pingOkay = false;             // PTestImage likewise
    int lookupProgress = -1;           // PLookup's percentage; -1 while it is hidden
    int pingProgress = -1;             // PPing's percentage; -1 while it is hidden
    std::string status;                // the status label
    bool startEnabled = true;          // "&Start!"
    bool stopEnabled = false;          // "Stop!"
    bool timerEnabled = false;         // the 500 ms timer runs
    std::string tip;                   // the tip line
};

// The parts of the dialog the mouse can be over, for the tip line.
enum class TesterArea { kForm, kNameserver, kAskFor, kResult, kClose, kHelp, kStop, kStart };

// What the tester is given. The controls may be null when they could not be created; what
// needs them is then never answered and times out.
struct TesterParts {
    const NameServerList& servers;
    const LocalAddresses& local;
    UdpControl* tudp;        // TUDP: the lookup
    IcmpControl* icmpPort1;  // ICMPPort1: the ping
    MessageService& messages;
    LogSink& log;
    Clock& clock;
    MessageIdSource& random;  // the random steps between test identifiers
    HelpHost& help;
    bool& pingRefusalLogged;  // outlives the dialog: why a ping cannot be sent is logged once
    uint16_t dnsPort = 53;    // where the lookup is sent
};

class TesterForm {
  public:
    explicit TesterForm(const TesterParts& parts);

    // Opening: Stop disabled, the help context saved and set, the server list filled, the
    // results emptied, the timer on.
    void Load();
    // The dialog became active: both progress panels hidden.
    void Activated();
    // Closing by any means: the saved help context back, the timer off.
    void Unload();

    // Combo1's text and Text2's text as the user edits them.
    void SetServerText(const std::string& text) { serverText_ = text; }
    void SetDomainText(const std::string& text) { domainText_ = text; }
    const std::string& DomainText() const { return domainText_; }

    // The chosen server: "" for a text of 4 characters or fewer, else the text up to its first
    // space (the whole text without one).
    std::string GetSelNS() const;
    // The next test identifier (1300 first, again after 30000) and its ping data.
    void MakeNewIDs();

    void StartClicked();
    void StopClicked();
    void HelpClicked() { parts_.help.OpenHelp(); }
    void TimerTick();
    void MouseOver(TesterArea area);

    // TUDP's DataIn: a datagram of the lookup's server (or anyone's).
    void LookupDataIn(std::string_view datagram);
    // ICMPPort1's DataIn: an ICMP message's type, code and data.
    void PingDataIn(int type, int code, std::string_view data);

    const TesterFace& Face() const { return face_; }
    uint16_t TestIdentifier() const { return testIdentifier_; }
    const std::string& PingData() const { return pingData_; }

  private:
    void StartTest(const std::string& server);
    void SendLookup(const std::string& server);
    void SendPing(const std::string& server);
    void SetTestTip(const std::string& text);
    void LogPingRefusal(const std::string& why);
    std::string Elapsed(Tick start);

    TesterParts parts_;
    TesterFace face_;
    std::string serverText_;
    std::string domainText_ = kTesterDefaultDomain;
    uint16_t testIdentifier_ = 0;
    std::string pingData_;
    Tick lookupStart_ = 0;
    std::string askedName_;
    bool lookupPending_ = false;
    Tick pingStart_ = 0;
    bool pingPending_ = false;
    int savedHelpContext_ = 0;
};

}  // namespace quenda
