// Datagrams through two UDPPort controls against the same exchange over plain POSIX sockets,
// both on the one Qt loop: a request/response ping-pong, and a burst of 1400 datagrams.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/shell/udp_port_control.h"
#include "platform/registry/registry.h"

namespace quenda {
namespace {

constexpr int kBurst = 1400;
constexpr int kBurstWindow = 64;      // datagrams in flight, well inside the receive buffer
constexpr int kStallMs = 2000;        // no progress for this long: a datagram was lost
const std::string kQuery(40, 'q');    // about a small DNS query
const std::string kReply(120, 'r');   // about a small DNS reply

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs the loop until done() or no progress was made for kStallMs; false on a stall.
bool RunUntil(const std::function<bool()>& done, const std::function<int()>& progress) {
    QElapsedTimer idle;
    idle.start();
    int last = progress();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (progress() != last) {
            last = progress();
            idle.restart();
        } else if (idle.elapsed() > kStallMs) {
            return false;
        }
    }
    return true;
}

// Two endpoints A and B on loopback that count what they receive.
class Pair {
public:
    virtual ~Pair() = default;
    virtual void SendAtoB(const std::string& bytes) = 0;
    // B answers every datagram with kReply when answering is on.
    bool answer = false;
    int receivedA = 0;
    int receivedB = 0;
};

class ControlPair final : public Pair {
public:
    ControlPair() {
        a_ = UdpPortControl::Create(QUENDA_TARNEL_LIBRARY);
        b_ = UdpPortControl::Create(QUENDA_TARNEL_LIBRARY);
        if (!a_ || !b_ || OpenUdpEndpoints(*a_, *b_, 0) != 0) std::abort();
        b_->Control()->put_InBufferSize(1 << 20);
        int32_t port = 0;
        b_->Control()->get_LocalPort(&port);
        portB_ = static_cast<uint16_t>(port);
        a_->SetDataInHandler([this](std::string_view, const std::string&, uint16_t) { ++receivedA; });
        b_->SetDataInHandler([this](std::string_view, const std::string& address, uint16_t from) {
            ++receivedB;
            if (answer) b_->SendDatagram(address, from, kReply);
        });
    }
    void SendAtoB(const std::string& bytes) override { a_->SendDatagram("127.0.0.1", portB_, bytes); }

private:
    std::unique_ptr<UdpPortControl> a_, b_;
    uint16_t portB_ = 0;
};

class PosixPair final : public Pair {
public:
    PosixPair() {
        a_ = Open();
        b_ = Open();
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        getsockname(b_, reinterpret_cast<sockaddr*>(&bound), &length);
        toB_ = bound;
        readA_ = std::make_unique<QSocketNotifier>(a_, QSocketNotifier::Read);
        readB_ = std::make_unique<QSocketNotifier>(b_, QSocketNotifier::Read);
        QObject::connect(readA_.get(), &QSocketNotifier::activated, [this] { Drain(a_, false); });
        QObject::connect(readB_.get(), &QSocketNotifier::activated, [this] { Drain(b_, true); });
    }
    ~PosixPair() override {
        readA_.reset();
        readB_.reset();
        ::close(a_);
        ::close(b_);
    }
    void SendAtoB(const std::string& bytes) override {
        ::sendto(a_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&toB_), sizeof toB_);
    }

private:
    static int Open() {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) std::abort();
        return fd;
    }
    // Reads until nothing is queued, as the control's read loop does.
    void Drain(int fd, bool isB) {
        char buffer[2049];
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (got < 0) return;
            if (!isB) {
                ++receivedA;
                continue;
            }
            ++receivedB;
            if (answer) ::sendto(b_, kReply.data(), kReply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    int a_ = -1, b_ = -1;
    sockaddr_in toB_{};
    std::unique_ptr<QSocketNotifier> readA_, readB_;
};

template <class P>
void BM_PingPong(benchmark::State& state) {
    P pair;
    pair.answer = true;
    int exchanges = 0;
    double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        int expected = pair.receivedA + 1;
        pair.SendAtoB(kQuery);
        if (!RunUntil([&] { return pair.receivedA >= expected; }, [&] { return pair.receivedA; })) {
            state.SkipWithError("a reply was lost");
            break;
        }
        ++exchanges;
    }
    double cpu = ProcessCpuSeconds() - cpuStart;
    state.counters["datagrams/s"] = benchmark::Counter(2.0 * exchanges, benchmark::Counter::kIsRate);
    state.counters["cpu_us/datagram"] = exchanges ? cpu * 1e6 / (2.0 * exchanges) : 0;
}

template <class P>
void BM_Burst(benchmark::State& state) {
    P pair;
    int bursts = 0;
    double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        const int base = pair.receivedB;
        int sent = 0;
        bool ok = true;
        while (ok && pair.receivedB - base < kBurst) {
            while (sent < kBurst && sent - (pair.receivedB - base) < kBurstWindow) {
                pair.SendAtoB(kQuery);
                ++sent;
            }
            const int target = std::min(kBurst, pair.receivedB - base + 1);
            ok = RunUntil([&] { return pair.receivedB - base >= target; }, [&] { return pair.receivedB; });
        }
        if (!ok) {
            state.SkipWithError("a datagram was lost");
            break;
        }
        ++bursts;
    }
    double cpu = ProcessCpuSeconds() - cpuStart;
    state.counters["datagrams/s"] = benchmark::Counter(static_cast<double>(bursts) * kBurst, benchmark::Counter::kIsRate);
    state.counters["cpu_us/datagram"] = bursts ? cpu * 1e6 / (static_cast<double>(bursts) * kBurst) : 0;
}

BENCHMARK_TEMPLATE(BM_PingPong, ControlPair)->UseRealTime()->MeasureProcessCPUTime()->MinTime(1.0);
BENCHMARK_TEMPLATE(BM_PingPong, PosixPair)->UseRealTime()->MeasureProcessCPUTime()->MinTime(1.0);
BENCHMARK_TEMPLATE(BM_Burst, ControlPair)->UseRealTime()->MeasureProcessCPUTime()->MinTime(1.0);
BENCHMARK_TEMPLATE(BM_Burst, PosixPair)->UseRealTime()->MeasureProcessCPUTime()->MinTime(1.0);

}  // namespace
}  // namespace quenda

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A registry of its own, so the library is registered afresh and nothing else is touched.
    char pattern[] = "/tmp/quenda-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    quenda::Registry::SetProcessPath(std::string(pattern) + "/registry");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
