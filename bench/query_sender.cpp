// DNS queries for bench/compare, either as one burst sent truly back to back (one sendmmsg
// call; dnsperf paces its sends) or paced at a fixed rate with each reply's latency taken.
//
//   query_sender --server A --port N --count C [--suffix S] [--one-name] [--rate Q]
//                [--wait SECONDS] [--type T]
//
// Names are q<i>.<suffix>, or all q0.<suffix> with --one-name, asked for type T (default 1,
// A; 28 asks AAAA, a negative answer for a name that has only an address); the message ID
// is the query number. Without --rate all C queries leave at once; with --rate, Q per second.
// Replies are awaited until all came or SECONDS (default 3) passed after the last send.
// Prints "sent C answered R lost L send_us T avg_ms A p50_ms M p99_ms P max_ms X", a reply counted
// once per ID, latencies over the answered queries.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/relay/dns_codec.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Query(uint16_t id, const std::string& name, uint16_t type) {
    std::string q;
    q.push_back(static_cast<char>(id >> 8));
    q.push_back(static_cast<char>(id & 0xFF));
    q += std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);  // RD, one question
    q += quenda::EncodeName(name);
    q.push_back(static_cast<char>(type >> 8));
    q.push_back(static_cast<char>(type & 0xFF));
    q += std::string("\x00\x01", 2);  // class IN
    return q;
}

struct Run {
    int fd = -1;
    std::vector<Clock::time_point> sentAt;
    std::vector<double> latencyMs;  // per ID, < 0 while unanswered
    int answered = 0;

    // Takes every reply already queued, or waits until `until` for one.
    void Receive(Clock::time_point until) {
        unsigned char buffer[4096];
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, std::max<int>(0, static_cast<int>(left.count()))) <= 0) return;
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            const auto now = Clock::now();
            if (got < 12) continue;
            const size_t id = static_cast<size_t>(buffer[0] << 8 | buffer[1]);
            if (id >= sentAt.size() || latencyMs[id] >= 0) continue;
            latencyMs[id] = std::chrono::duration<double, std::milli>(now - sentAt[id]).count();
            ++answered;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string server = "127.0.0.1";
    std::string suffix = "burst.bench.test";
    int port = 53;
    int count = 1000;
    double rate = 0;
    double waitSeconds = 3;
    bool oneName = false;
    int type = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--server") {
            server = value, ++i;
        } else if (arg == "--port") {
            port = std::atoi(value), ++i;
        } else if (arg == "--count") {
            count = std::atoi(value), ++i;
        } else if (arg == "--suffix") {
            suffix = value, ++i;
        } else if (arg == "--rate") {
            rate = std::atof(value), ++i;
        } else if (arg == "--wait") {
            waitSeconds = std::atof(value), ++i;
        } else if (arg == "--type") {
            type = std::atoi(value), ++i;
        } else if (arg == "--one-name") {
            oneName = true;
        } else {
            std::fprintf(stderr, "query_sender: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (count < 1 || count > 65535 || rate < 0 || waitSeconds < 0 || waitSeconds > 60 || type < 1 ||
        type > 65535) {
        std::fprintf(stderr,
                     "query_sender: --count 1-65535, --rate >= 0, --wait 0-60, --type 1-65535\n");
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    // Loopback only: this tool must never send anywhere else.
    if (inet_pton(AF_INET, server.c_str(), &to.sin_addr) != 1 ||
        (ntohl(to.sin_addr.s_addr) >> 24) != 127) {
        std::fprintf(stderr, "query_sender: --server must be a 127.x.y.z address\n");
        return 2;
    }
    Run run;
    run.fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    int big = 8 << 20;  // replies must not be lost in our own queue
    ::setsockopt(run.fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
    ::setsockopt(run.fd, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big);

    std::vector<std::string> queries;
    queries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string name = "q" + std::to_string(oneName ? 0 : i) + "." + suffix;
        queries.push_back(Query(static_cast<uint16_t>(i), name, static_cast<uint16_t>(type)));
    }
    run.sentAt.resize(queries.size());
    run.latencyMs.assign(queries.size(), -1);

    const auto begin = Clock::now();
    int sent = 0;
    if (rate == 0) {
        std::vector<iovec> iov(queries.size());
        std::vector<mmsghdr> messages(queries.size());
        for (size_t i = 0; i < queries.size(); ++i) {
            iov[i] = {queries[i].data(), queries[i].size()};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &to;
            messages[i].msg_hdr.msg_namelen = sizeof to;
            messages[i].msg_hdr.msg_iov = &iov[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        std::fill(run.sentAt.begin(), run.sentAt.end(), begin);
        while (sent < count) {
            const int n =
                ::sendmmsg(run.fd, messages.data() + sent, static_cast<unsigned>(count - sent), 0);
            if (n <= 0) break;
            sent += n;
        }
    } else {
        const auto interval = std::chrono::duration<double>(1.0 / rate);
        for (int i = 0; i < count; ++i) {
            const auto due = begin + std::chrono::duration_cast<Clock::duration>(interval * i);
            run.Receive(due);
            run.sentAt[static_cast<size_t>(i)] = Clock::now();
            const std::string& q = queries[static_cast<size_t>(i)];
            if (::sendto(run.fd, q.data(), q.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to) > 0)
                ++sent;
        }
    }
    const auto lastSend = Clock::now();
    const auto deadline = lastSend + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(waitSeconds));
    while (run.answered < sent && Clock::now() < deadline) run.Receive(deadline);
    ::close(run.fd);

    std::vector<double> latencies;
    for (double ms : run.latencyMs) {
        if (ms >= 0) latencies.push_back(ms);
    }
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double ms : latencies) sum += ms;
    auto at = [&latencies](double q) {
        if (latencies.empty()) return 0.0;
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<size_t>(q * static_cast<double>(latencies.size())))];
    };
    const long sendMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(lastSend - begin).count();
    std::printf(
        "sent %d answered %d lost %d send_us %ld avg_ms %.3f p50_ms %.3f p99_ms %.3f max_ms %.3f\n",
        sent, run.answered, sent - run.answered, sendMicros,
        latencies.empty() ? 0.0 : sum / static_cast<double>(latencies.size()), at(0.50), at(0.99),
        latencies.empty() ? 0.0 : latencies.back());
    return 0;
}
