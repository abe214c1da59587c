// The host entry editor's logic without widgets: asks the name servers for one host's A or
// MX record under the editor's own message ID, and stores or deletes the cache entry by the
// reply, with the countdown, the status texts and the tips of its dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/cache/cache_database.h"
#include "platform/ui/message_service.h"

namespace quenda {

// Seconds the editor waits for a reply.
inline constexpr int16_t kHostEditorTimeout = 20;

// What the dialog opens with: both empty to add a host, else the entry to update.
struct HostEditorPreset {
    std::string name;  // host name as stored (upper case)
    std::string type;  // "A" or "MX"
};

// The type mnemonic of a cache key: the text after the last space before its last octet; the
// whole key when there is none.
std::string CacheKeyType(std::string_view key);
// The host name of a cache key: the key without its surrounding spaces, cut before its first
// space.
std::string CacheKeyName(std::string_view key);

// The parts of the dialog the editor talks to.
class HostEditorWindow {
  public:
    virtual ~HostEditorWindow() = default;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void SetTip(const std::string& text) = 0;
    // The reply changed the cache: the cache list is to be refreshed.
    virtual void CacheEntryChanged() = 0;
};

// The dialog's parts that have a tip.
enum class HostEditorPart { kForm, kRequest, kStatus, kStart, kClose, kHelp };

class HostEditor {
  public:
    // send gets the query for every enabled name server (the relay's SendToAllServers; it may
    // let events run, a reply among them). cache and messages outlive the editor.
    HostEditor(CacheDatabase& cache, MessageService& messages,
               std::function<void(std::string_view query)> send);

    // The dialog became active with preset: loaded, "&Start" enabled, an empty status and no
    // tip; with a preset name the query is sent at once. window (not owned) stays until Close.
    void Open(HostEditorWindow* window, const HostEditorPreset& preset);
    // "&Start": an empty name shows the "No domain name" message; otherwise the query for
    // name and type ("A" or "MX") goes to every enabled server under the editor's message ID,
    // and the editor waits kHostEditorTimeout seconds with "&Start" disabled. The editor is
    // waiting before the query leaves, so a reply that comes in while it is sent is taken.
    void Start(const std::string& name, const std::string& type);
    // An upstream datagram, offered before the relay looks at it. Taken (true) only while the
    // editor waits and only when it is a reply under the editor's message ID to a plain IN
    // query for the asked name (any letter case) and type. A good answer is stored under its
    // question key; any other reply deletes that key's entry and enables "&Start" again.
    // Either way waiting ends and the window hears that the cache changed.
    bool UpdateEntry_Data_Nameserver(std::string_view datagram);
    // Every second: while waiting, counts down, adding a "." to the status each second and
    // ending with the time-out status, which enables "&Start" again.
    void TimerTick();
    // The domain text changed or the type was clicked: "&Start" is enabled.
    void RequestChanged();
    // The mouse is over a part; the tip line changes only when its text does. domainEmpty
    // says whether the domain box is empty now.
    void ShowTip(HostEditorPart part, bool domainEmpty);
    // The dialog closes: a query still waiting is abandoned (its reply goes to the relay).
    void Close();

    bool Loaded() const { return loaded_; }
    bool Waiting() const { return waiting_; }
    bool StartEnabled() const { return startEnabled_; }
    const std::string& Status() const { return status_; }
    const std::string& Tip() const { return tip_; }

  private:
    void SetStatus(const std::string& text);
    void SetStartEnabled(bool enabled);

    CacheDatabase& cache_;
    MessageService& messages_;
    std::function<void(std::string_view)> send_;
    HostEditorWindow* window_ = nullptr;  // the open dialog; null while closed
    bool loaded_ = false;
    bool waiting_ = false;      // a query is out and nothing has ended it
    bool startEnabled_ = true;  // "&Start" can be pressed
    std::string askedName_;     // name of the query sent, as typed
    std::string askedType_;     // type mnemonic of the query sent
    int16_t countdown_ = 0;     // seconds left until the time-out
    std::string status_;        // the status label's text
    std::string tip_;           // the tip line's text
};

}  // namespace quenda
