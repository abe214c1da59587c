// A fake upstream name server on address:53 (UDP and TCP) that answers, refuses or stays
// silent as a test tells it, and counts what it was asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quenda::test {

class FakeUpstream {
  public:
    // kNegative answers a name error (RCODE 3), kNoData an empty answer (RCODE 0, no records).
    enum class Mode { kAnswer, kNegative, kNoData, kSilent };

    // Binds UDP and TCP port `port` on address (a loopback address); Ok() tells whether it did.
    explicit FakeUpstream(std::string address, uint16_t port = 53);
    ~FakeUpstream();
    FakeUpstream(const FakeUpstream&) = delete;
    FakeUpstream& operator=(const FakeUpstream&) = delete;

    bool Ok() const { return udp_ >= 0 && tcp_ >= 0; }
    void SetMode(Mode mode) { mode_ = mode; }
    void SetDelayMs(int ms) { delayMs_ = ms; }

    // UDP queries received so far (their raw bytes).
    std::vector<std::string> Queries() const;
    // The source port of the last UDP query, 0 before any.
    uint16_t LastSourcePort() const { return lastSourcePort_; }
    // Sends raw bytes from this server's UDP socket to address:port.
    void SendFrom(const std::string& data, const std::string& address, uint16_t port) const;
    // The answer's A record: 192.0.2.<last octet of the server's address>.
    std::string AnswerAddress() const;

    // The reply this server gives to query in the given mode.
    std::string ReplyTo(const std::string& query, Mode mode) const;

  private:
    void Run();
    void ServeTcp(int connection);

    std::string address_;
    int udp_ = -1;
    int tcp_ = -1;
    std::atomic<Mode> mode_{Mode::kAnswer};
    std::atomic<int> delayMs_{0};
    std::atomic<uint16_t> lastSourcePort_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> queries_;
    std::thread thread_;
};

}  // namespace quenda::test
