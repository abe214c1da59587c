// Fakes of the relay's ports and hooks that record what the relay does.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/log/log_sink.h"
#include "app/relay/pending_sweep.h"
#include "app/relay/relay_ports.h"
#include "app/relay/statistics.h"

namespace quenda::test {

struct SentDatagram {
    std::string host;
    uint16_t port = 0;
    std::string data;
};

class FakeDatagramPort final : public DatagramPort {
  public:
    bool IsActive() override { return active; }
    void SendDatagram(const std::string& host, uint16_t port, std::string_view data) override {
        sent.push_back({host, port, std::string(data)});
    }
    std::vector<std::string> HostsSentTo() const {
        std::vector<std::string> hosts;
        for (const auto& d : sent) hosts.push_back(d.host);
        return hosts;
    }

    bool active = true;
    std::vector<SentDatagram> sent;
};

// Stores by upper-cased key, as the real cache does.
class FakeCache final : public RelayCache {
  public:
    std::string CacheLookup(const std::string& key) override {
        ++lookups;
        const auto it = entries.find(Upper(key));
        return it == entries.end() ? std::string() : it->second;
    }
    void CacheStore(const std::string& key, std::string_view reply) override {
        ++stores;
        entries[Upper(key)] = std::string(reply);
    }
    static std::string Upper(std::string text) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        return text;
    }

    std::map<std::string, std::string> entries;
    int lookups = 0;
    int stores = 0;
};

class FakeLog final : public LogSink {
  public:
    void WriteLog(const std::string& text, int level) override { lines.emplace_back(level, text); }
    bool Has(const std::string& text, int level) const {
        for (const auto& [l, t] : lines) {
            if (l == level && t == text) return true;
        }
        return false;
    }
    std::vector<std::pair<int, std::string>> lines;
};

class FakeRelayHooks final : public RelayHooks {
  public:
    void ProcessPendingMessages() override {
        ++pumps;
        if (onPump) {
            auto action = std::move(onPump);  // runs once, as a nested event would
            onPump = nullptr;
            action();
        }
    }
    void ServersChanged() override { ++listViews; }
    bool UpdateEntryDataNameserver(std::string_view datagram) override {
        offered.emplace_back(datagram);
        return editor ? editor(datagram) : editorTakes;
    }
    void ShowCriticalError(const std::string& title, const std::string& text) override {
        criticalErrors.emplace_back(title, text);
    }

    std::function<void()> onPump;                  // a nested event to run at the next message pump
    std::function<bool(std::string_view)> editor;  // the host entry editor; else editorTakes
    int pumps = 0;
    int listViews = 0;
    bool editorTakes = false;
    std::vector<std::string> offered;
    std::vector<std::pair<std::string, std::string>> criticalErrors;
};

// Message IDs counting up from a known start, so tests can name the ID a query went out with.
class FakeMessageIds final : public MessageIdSource {
  public:
    uint16_t NextMessageId() override { return next++; }
    uint16_t next = 0xA000;
};

class FakeStatisticsView final : public StatisticsView {
  public:
    void ShowShare(ShareBar bar, int percent) override {
        shares[static_cast<int>(bar)] = percent;
        ++writes;
    }
    void ShowWaiting(const std::string& text) override {
        waiting = text;
        ++writes;
    }
    void ShowTimeGained(const std::string& text) override {
        timeGained = text;
        ++writes;
    }

    int shares[3] = {-1, -1, -1};
    std::string waiting;
    std::string timeGained;
    int writes = 0;
};

}  // namespace quenda::test
