// The host entry editor's logic: the query, the reply, the countdown and the tips.
#include "app/shell/host_editor.h"

#include <utility>

#include "app/relay/dns_codec.h"
#include "app/relay/message_walk.h"
#include "app/relay/pending_table.h"
#include "app/relay/request_class.h"
#include "app/shell/random_message_ids.h"

namespace quenda {
namespace {

constexpr const char* kSent = "Request sent, waiting for reply";
constexpr const char* kUpdated = "Got reply! Entry is updated!";
constexpr const char* kNoInformation =
    "No information about this domain available. Unable to add this information to database";
constexpr const char* kTimeout = "Timeout, check internet connection and/or try again";

// The query flags: only "recursion desired".
constexpr uint8_t kRecursionDesired = 1;
constexpr uint8_t kResponseBit = 0x80;

bool IsResponse(std::string_view message) {
    return message.size() > 2 && (static_cast<uint8_t>(message[2]) & kResponseBit) != 0;
}

}  // namespace

std::string CacheKeyType(std::string_view key) {
    if (key.size() < 2) return std::string(key);
    const size_t space = key.find_last_of(' ', key.size() - 2);
    if (space == std::string_view::npos) return std::string(key);
    return std::string(key.substr(space + 1));
}

std::string CacheKeyName(std::string_view key) {
    const size_t first = key.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    key.remove_prefix(first);
    return std::string(key.substr(0, key.find(' ')));
}

HostEditor::HostEditor(CacheDatabase& cache, MessageService& messages,
                       std::function<void(std::string_view query)> send)
    : cache_(cache), messages_(messages), send_(std::move(send)) {}

void HostEditor::Open(HostEditorWindow* window, const HostEditorPreset& preset) {
    window_ = window;
    loaded_ = true;
    waiting_ = false;
    startEnabled_ = true;
    status_.clear();
    tip_.clear();
    if (!preset.name.empty()) Start(preset.name, preset.type);
}

void HostEditor::Start(const std::string& name, const std::string& type) {
    if (name.empty()) {
        messages_.Inform(MessageIcon::Information, "No domain name",
                         "Please enter a domainname before");
        return;
    }
    QueryRecord record;
    record.id[0] = static_cast<uint8_t>(kHostEditorMessageId >> 8);
    record.id[1] = static_cast<uint8_t>(kHostEditorMessageId & 0xff);
    record.flags[0] = kRecursionDesired;
    record.qdCount[1] = 1;
    record.qName = EncodeName(name);
    const int code = TypeCode(type);
    record.qType[0] = static_cast<uint8_t>(code >> 8);
    record.qType[1] = static_cast<uint8_t>(code & 0xff);
    record.qClass[1] = kClassIn;

    // Waiting first: the servers may answer while the query is still being sent.
    waiting_ = true;
    askedName_ = name;
    askedType_ = type;
    countdown_ = kHostEditorTimeout;
    SetStatus(kSent);
    SetStartEnabled(false);
    send_(BuildQuery(record));
}

bool HostEditor::UpdateEntry_Data_Nameserver(std::string_view datagram) {
    if (!waiting_) return false;
    // Only the reply to our own query: a client's question for the same host goes out under
    // an ID of its own, and its reply belongs to the client.
    if (Read16(datagram, 0) != kHostEditorMessageId || !IsResponse(datagram)) return false;
    if (!EqualsIgnoringCase(GetQueryName(datagram), askedName_)) return false;
    if (GetQueryType(datagram) != askedType_) return false;
    // What the relay would not cache never reaches the cache through the editor either.
    if (!MayStoreReply(datagram)) return false;

    waiting_ = false;
    const std::string key = MakeCacheKey(datagram);
    if (IsGoodAnswer(datagram)) {
        // "&Start" stays disabled until the request is changed.
        cache_.CacheStore(key, datagram);
        SetStatus(kUpdated);
    } else {
        cache_.CacheDeleteEntry(key);
        SetStatus(kNoInformation);
        SetStartEnabled(true);
    }
    if (window_ != nullptr) window_->CacheEntryChanged();
    return true;
}

void HostEditor::TimerTick() {
    if (!waiting_ || countdown_ <= 0) return;
    --countdown_;
    if (countdown_ > 0) {
        SetStatus(status_ + ".");
        return;
    }
    waiting_ = false;
    SetStatus(kTimeout);
    SetStartEnabled(true);
}

void HostEditor::RequestChanged() {
    if (!startEnabled_) SetStartEnabled(true);
}

void HostEditor::ShowTip(HostEditorPart part, bool domainEmpty) {
    std::string text;
    switch (part) {
        case HostEditorPart::kForm:
            break;
        case HostEditorPart::kRequest:
            text = "The domainname you want to add/update to database";
            break;
        case HostEditorPart::kStatus:
            text = "Status";
            break;
        case HostEditorPart::kStart:
            text = domainEmpty ? "Please add a domain name in the request frame before."
                               : "Press here to send request to nameserver.";
            break;
        case HostEditorPart::kClose:
            text = "Close this window";
            break;
        case HostEditorPart::kHelp:
            text = "Open help system";
            break;
    }
    if (text == tip_) return;
    tip_ = text;
    if (window_ != nullptr) window_->SetTip(tip_);
}

void HostEditor::Close() {
    waiting_ = false;
    loaded_ = false;
    window_ = nullptr;
}

void HostEditor::SetStatus(const std::string& text) {
    status_ = text;
    if (window_ != nullptr) window_->SetStatus(status_);
}

void HostEditor::SetStartEnabled(bool enabled) {
    startEnabled_ = enabled;
    if (window_ != nullptr) window_->SetStartEnabled(enabled);
}

}  // namespace quenda
