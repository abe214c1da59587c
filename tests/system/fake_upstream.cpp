// The fake upstream name server.
#include "tests/system/fake_upstream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace quenda::test {
namespace {

sockaddr_in Address(const std::string& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
}

int Bound(int type, const std::string& address, uint16_t port) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = Address(address, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        (type == SOCK_STREAM && listen(fd, 16) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ReadFully(int fd, char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, data + done, size - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FakeUpstream::FakeUpstream(std::string address, uint16_t port) : address_(std::move(address)) {
    udp_ = Bound(SOCK_DGRAM, address_, port);
    tcp_ = Bound(SOCK_STREAM, address_, port);
    if (Ok()) thread_ = std::thread([this] { Run(); });
}

FakeUpstream::~FakeUpstream() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (udp_ >= 0) close(udp_);
    if (tcp_ >= 0) close(tcp_);
}

std::vector<std::string> FakeUpstream::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void FakeUpstream::SendFrom(const std::string& data, const std::string& address,
                            uint16_t port) const {
    const sockaddr_in to = Address(address, port);
    sendto(udp_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::string FakeUpstream::AnswerAddress() const {
    return "192.0.2." + address_.substr(address_.rfind('.') + 1);
}

std::string FakeUpstream::ReplyTo(const std::string& query, Mode mode) const {
    if (query.size() < 12) return "";
    std::string reply = query;
    reply[2] = static_cast<char>(0x81);  // QR, RD
    reply[3] = static_cast<char>(mode == Mode::kNegative ? 0x83 : 0x80);
    reply[6] = 0;
    reply[7] = mode == Mode::kAnswer ? 1 : 0;
    if (mode != Mode::kAnswer) return reply;
    in_addr a{};
    inet_pton(AF_INET, AnswerAddress().c_str(), &a);
    reply += std::string("\xc0\x0c\x00\x01\x00\x01\x00\x00\x0e\x10\x00\x04", 12);
    reply.append(reinterpret_cast<const char*>(&a), 4);
    return reply;
}

void FakeUpstream::Run() {
    char buffer[65536];
    while (!stop_) {
        pollfd fds[2] = {{udp_, POLLIN, 0}, {tcp_, POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(udp_, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) continue;
            const std::string query(buffer, static_cast<size_t>(n));
            {
                std::lock_guard lock(mutex_);
                queries_.push_back(query);
            }
            lastSourcePort_ = ntohs(from.sin_port);
            const Mode mode = mode_;
            if (mode == Mode::kSilent) continue;
            if (delayMs_ > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_.load()));
            const std::string reply = ReplyTo(query, mode);
            sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
        if (fds[1].revents & POLLIN) {
            const int connection = accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) ServeTcp(connection);
        }
    }
}

void FakeUpstream::ServeTcp(int connection) {
    timeval timeout{2, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    unsigned char prefix[2];
    while (ReadFully(connection, reinterpret_cast<char*>(prefix), 2)) {
        std::string query(static_cast<size_t>(prefix[0] << 8 | prefix[1]), '\0');
        if (!ReadFully(connection, query.data(), query.size())) break;
        const std::string reply = ReplyTo(query, Mode::kAnswer);
        const std::string framed = std::string{static_cast<char>(reply.size() >> 8),
                                               static_cast<char>(reply.size() & 0xFF)} +
                                   reply;
        if (write(connection, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size()))
            break;
    }
    close(connection);
}

}  // namespace quenda::test
