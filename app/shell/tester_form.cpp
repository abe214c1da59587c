// The name-server tester's logic: selection, identifiers, the lookup and the ping, matching,
// timing, progress, time-outs and tips.
#include "app/shell/tester_form.h"

#include "app/relay/dns_codec.h"
#include "app/relay/message_walk.h"
#include "app/shell/mainform.h"

namespace quenda {
namespace {

constexpr size_t kAddressColumn = 16;
constexpr uint16_t kFirstIdentifier = 1300;
constexpr uint16_t kLastIdentifier = 30000;
constexpr uint16_t kLowestIdentifier = 30;
constexpr int16_t kEchoRequest = 8;
constexpr int kEchoReply = 0;
constexpr const char* kWaiting = "Reqest sent, waiting for answer...";

// The bar of a test still waiting: the share of the time-out gone by, in whole percent.
int Progress(uint32_t elapsed) {
    return static_cast<int>(uint64_t{elapsed} * 100 / kTesterTimeoutMs);
}

}  // namespace

TesterForm::TesterForm(const TesterParts& parts) : parts_(parts) {}

void TesterForm::Load() {
    face_.stopEnabled = false;
    savedHelpContext_ = parts_.help.HelpContext();
    parts_.help.SetHelpContext(kHelpTester);
    face_.servers.clear();
    for (int position = 0; position < kUsedNameServers; ++position) {
        const NameServer& server = parts_.servers[position];
        if (server.address.size() < 5) continue;
        std::string item = server.address;
        if (item.size() < kAddressColumn) item.resize(kAddressColumn, ' ');
        face_.servers.push_back(item + server.description);
    }
    face_.lookupTime.clear();
    face_.pingTime.clear();
    lookupPending_ = false;
    pingPending_ = false;
    face_.lookupOkay = false;
    face_.pingOkay = false;
    face_.timerEnabled = true;
}

void TesterForm::Activated() {
    face_.lookupProgress = -1;
    face_.pingProgress = -1;
}

void TesterForm::Unload() {
    parts_.help.SetHelpContext(savedHelpContext_);
    face_.timerEnabled = false;
}

std::string TesterForm::GetSelNS() const {
    if (serverText_.size() <= 4) return {};
    return serverText_.substr(0, serverText_.find(' '));
}

void TesterForm::MakeNewIDs() {
    const int step = parts_.random.NextMessageId() % 5 + 1;
    int next = testIdentifier_ + step;
    if (next > kLastIdentifier || next < kLowestIdentifier) next = kFirstIdentifier;
    testIdentifier_ = static_cast<uint16_t>(next);
    pingData_ = "AAAAAAAA " + std::to_string(testIdentifier_ >> 8) + " " +
                std::to_string(testIdentifier_ & 0xFF);
}

void TesterForm::StartClicked() {
    const std::string server = GetSelNS();
    const std::string reason =
        server.empty() ? "Please specify a nameserver" : ValidateAddress(server, parts_.local);
    if (!reason.empty()) {
        parts_.messages.Inform(MessageIcon::Exclamation, kInvalidServerTitle,
                               "Could not send request: " + reason);
        return;
    }
    StartTest(server);
}

void TesterForm::StartTest(const std::string& server) {
    MakeNewIDs();
    face_.lookupTime.clear();
    face_.pingTime.clear();
    face_.lookupProgress = 0;
    face_.pingProgress = 0;
    SendLookup(server);
    SendPing(server);
    face_.status = kWaiting;
    face_.startEnabled = false;
    face_.stopEnabled = true;
}

void TesterForm::SendLookup(const std::string& server) {
    QueryRecord query;
    query.id[0] = static_cast<uint8_t>(testIdentifier_ >> 8);
    query.id[1] = static_cast<uint8_t>(testIdentifier_ & 0xFF);
    query.flags[0] = 1;  // recursion desired
    query.qdCount[1] = 1;
    query.qName = EncodeName(domainText_);
    query.qType[1] = 1;   // A
    query.qClass[1] = 1;  // IN
    const std::string message = BuildQuery(query);
    lookupStart_ = parts_.clock.Now();
    askedName_ = domainText_;
    lookupPending_ = true;
    face_.lookupOkay = false;
    // A failing step leaves the lookup waiting: it times out like an unreachable server.
    if (parts_.tudp == nullptr) return;
    (void)parts_.tudp->SetActive(false);
    (void)parts_.tudp->SetActive(true);
    parts_.tudp->SendDatagram(server, parts_.dnsPort, message);
}

void TesterForm::SendPing(const std::string& server) {
    IcmpControl* icmp = parts_.icmpPort1;
    if (icmp == nullptr) {
        LogPingRefusal("the ICMPPort control cannot be created");
    } else {
        (void)icmp->SetWinsockLoaded(true);
        (void)icmp->SetRemoteHost(server);
        if (!icmp->IsActive()) {
            if (const int error = icmp->SetActive(true)) {
                LogPingRefusal("no ICMP socket may be opened (error " + std::to_string(error) +
                               ": " + icmp->LastErrorText() +
                               "); raw ICMP sockets need root or CAP_NET_RAW, ping sockets a "
                               "group in net.ipv4.ping_group_range");
            }
        }
        (void)icmp->SetMessageType(kEchoRequest);
        (void)icmp->SetMessageSubType(0);
        (void)icmp->SendMessage(pingData_);
    }
    // Taken after the send, as the data leaves when it is handed over.
    pingPending_ = true;
    pingStart_ = parts_.clock.Now();
    face_.pingOkay = false;
}

void TesterForm::LogPingRefusal(const std::string& why) {
    if (parts_.pingRefusalLogged) return;
    parts_.pingRefusalLogged = true;
    parts_.log.WriteLog("Name server test: the ping cannot be sent: " + why, 2);
}

std::string TesterForm::Elapsed(Tick start) {
    return std::to_string(TicksBetween(start, parts_.clock.Now())) + "ms";
}

void TesterForm::LookupDataIn(std::string_view datagram) {
    if (!lookupPending_ || datagram.size() < 2) return;
    const int id = Read16(datagram, 0);
    // An answer to a stopped test, or to nothing of ours.
    if (id != testIdentifier_) return;
    lookupPending_ = false;
    face_.lookupProgress = -1;
    if (GetQueryName(datagram) == askedName_) {
        face_.lookupTime = Elapsed(lookupStart_);
        face_.lookupOkay = true;
        return;
    }
    face_.lookupTime = "??????";
    face_.status = "Unexpected package arrived";
}

void TesterForm::PingDataIn(int type, int, std::string_view data) {
    // A raw socket also sees the request itself go out to a local address: only a reply counts.
    if (!pingPending_ || type != kEchoReply || data != pingData_) return;
    face_.pingTime = Elapsed(pingStart_);
    face_.pingOkay = true;
    face_.pingProgress = -1;
    pingPending_ = false;
}

void TesterForm::TimerTick() {
    const Tick now = parts_.clock.Now();
    const auto update = [now](bool& pending, Tick start, std::string& time, int& progress) {
        if (!pending) return;
        const uint32_t elapsed = TicksBetween(start, now);
        if (elapsed > kTesterTimeoutMs) {
            pending = false;
            time = "Timeout";
            progress = -1;
            return;
        }
        progress = Progress(elapsed);
    };
    update(lookupPending_, lookupStart_, face_.lookupTime, face_.lookupProgress);
    update(pingPending_, pingStart_, face_.pingTime, face_.pingProgress);
    if (lookupPending_ || pingPending_) {
        face_.stopEnabled = true;
        return;
    }
    face_.status.clear();
    face_.startEnabled = true;
    face_.stopEnabled = false;
}

void TesterForm::StopClicked() {
    // Late answers carry the old identifier and no longer match.
    MakeNewIDs();
    lookupPending_ = false;
    pingPending_ = false;
}

void TesterForm::MouseOver(TesterArea area) {
    switch (area) {
        case TesterArea::kNameserver:
            SetTestTip("Select or enter a nameserver you want to test");
            return;
        case TesterArea::kAskFor:
            SetTestTip("Enter a domain here");
            return;
        case TesterArea::kResult:
            SetTestTip("Press start to update this result frame");
            return;
        case TesterArea::kClose:
            SetTestTip("Close window");
            return;
        case TesterArea::kHelp:
            SetTestTip("Open help system");
            return;
        case TesterArea::kStop:
            // A disabled button leaves the mouse to the form under it.
            SetTestTip(face_.stopEnabled ? "Cancel running test" : " ");
            return;
        case TesterArea::kStart: {
            const std::string server = GetSelNS();
            SetTestTip(server.empty() ? "You have to select a nameserver before"
                                      : "Press here to test " + server);
            return;
        }
        case TesterArea::kForm:
            SetTestTip(" ");
            return;
    }
}

void TesterForm::SetTestTip(const std::string& text) {
    if (face_.tip != text) face_.tip = text;
}

}  // namespace quenda
