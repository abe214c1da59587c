// A fast fake name server for the end-to-end benchmark: answers every A or AAAA question on
// UDP address:port at once with a fixed address, and tells how many queries it answered.
//
//   fake_name_server [--address A] [--port N] [--seconds S]
//
// Prints "listening" once bound, and "asked N answered M" on SIGUSR1 and at the end (SIGTERM,
// SIGINT or after S seconds, 300 by default, so a forgotten copy never lingers).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t reportRequested = 0;

void OnStop(int) {
    stopRequested = 1;
}
void OnReport(int) {
    reportRequested = 1;
}

constexpr size_t kHeader = 12;
constexpr uint32_t kTtl = 3600;

// Builds the reply to query into reply: header and question copied, one answer for A (192.0.2.1)
// or AAAA (2001:db8::1), no answer for other types, any further sections left out. Returns the
// reply's length, or 0 for anything that is not a well-formed one-question query.
size_t Answer(const unsigned char* query, size_t size, unsigned char* reply) {
    if (size < kHeader || (query[2] & 0x80) != 0) return 0;
    if (query[4] != 0 || query[5] != 1) return 0;
    size_t at = kHeader;
    // The question name: plain labels only, a compression pointer is not expected here.
    while (at < size && query[at] != 0) {
        if ((query[at] & 0xC0) != 0) return 0;
        at += 1 + query[at];
    }
    if (at + 5 > size) return 0;
    const size_t questionEnd = at + 5;
    const unsigned type = query[at + 1] << 8 | query[at + 2];

    std::memcpy(reply, query, questionEnd);
    reply[2] = static_cast<unsigned char>(0x80 | (query[2] & 0x79));  // QR, opcode and RD kept
    reply[3] = 0x80;                                                  // RA, NOERROR
    reply[6] = reply[7] = reply[8] = reply[9] = reply[10] = reply[11] = 0;
    size_t length = questionEnd;
    if (type != 1 && type != 28) return length;

    reply[7] = 1;
    const unsigned char v4[4] = {192, 0, 2, 1};
    const unsigned char v6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const unsigned char* data = type == 1 ? v4 : v6;
    const unsigned dataSize = type == 1 ? 4 : 16;
    const unsigned char record[12] = {0xC0,
                                      0x0C,
                                      static_cast<unsigned char>(type >> 8),
                                      static_cast<unsigned char>(type),
                                      0,
                                      1,
                                      static_cast<unsigned char>(kTtl >> 24),
                                      static_cast<unsigned char>(kTtl >> 16),
                                      static_cast<unsigned char>(kTtl >> 8),
                                      static_cast<unsigned char>(kTtl),
                                      0,
                                      static_cast<unsigned char>(dataSize)};
    std::memcpy(reply + length, record, sizeof record);
    length += sizeof record;
    std::memcpy(reply + length, data, dataSize);
    return length + dataSize;
}

void Report(unsigned long long asked, unsigned long long answered) {
    std::printf("asked %llu answered %llu\n", asked, answered);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.2";
    int port = 53;
    int seconds = 300;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--address") {
            address = argv[i + 1];
        } else if (option == "--port") {
            port = std::atoi(argv[i + 1]);
        } else if (option == "--seconds") {
            seconds = std::atoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        (ntohl(local.sin_addr.s_addr) >> 24) != 127) {
        std::fprintf(stderr, "%s is not a loopback address\n", address.c_str());
        return 2;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        std::perror("socket");
        return 1;
    }
    // A burst must not be lost in this server's own receive queue: that would be charged to
    // the program under test. FORCE works as root, the plain option is the fallback.
    const int buffer = 4 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }

    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    struct sigaction report {};
    report.sa_handler = OnReport;
    sigaction(SIGUSR1, &report, nullptr);

    std::printf("listening\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    unsigned long long asked = 0;
    unsigned long long answered = 0;
    unsigned char query[65536];
    unsigned char reply[65536 + 64];
    while (!stopRequested && std::chrono::steady_clock::now() < end) {
        if (reportRequested) {
            reportRequested = 0;
            Report(asked, answered);
        }
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0) continue;
        // Drain the queue before polling again: one poll per burst, not per datagram.
        for (;;) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n =
                recvfrom(fd, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n < 0) break;
            ++asked;
            const size_t length = Answer(query, static_cast<size_t>(n), reply);
            if (length == 0) continue;
            if (sendto(fd, reply, length, 0, reinterpret_cast<const sockaddr*>(&from), fromSize) ==
                static_cast<ssize_t>(length))
                ++answered;
        }
    }
    Report(asked, answered);
    close(fd);
    return 0;
}
