// Plain-socket tools for ICMP on loopback: a tap that sees every IPv4 packet on lo, an
// injector of crafted ICMP messages, and unique echo data.
#include "tests/icmpport/loopback_icmp.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

namespace quenda::testing {
namespace {

constexpr uint8_t kIcmpProtocol = 1;

uint8_t Byte(std::string_view bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

void PutBigEndian16(std::string* bytes, size_t offset, uint16_t value) {
    (*bytes)[offset] = static_cast<char>(value >> 8);
    (*bytes)[offset + 1] = static_cast<char>(value & 0xFF);
}

}  // namespace

std::string RawIcmpUnavailableReason() {
    int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    if (::geteuid() != 0) return "raw ICMP sockets need root (CAP_NET_RAW); not running as root";
    return "this system refuses raw ICMP sockets even to root";
}

std::string EchoUnansweredReason() {
    std::ifstream setting("/proc/sys/net/ipv4/icmp_echo_ignore_all");
    int ignoreAll = 0;
    if (setting >> ignoreAll && ignoreAll != 0) return "the kernel is set not to answer echo requests (icmp_echo_ignore_all)";
    return {};
}

uint16_t OnesComplementSum(std::string_view bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        sum += static_cast<uint64_t>(Byte(bytes, i)) << 8;
        if (i + 1 < bytes.size()) sum += Byte(bytes, i + 1);
    }
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

std::string IcmpMessage(uint8_t type, uint8_t code, std::string_view data) {
    std::string message;
    message += static_cast<char>(type);
    message += static_cast<char>(code);
    message += std::string(2, '\0');
    message += data;
    PutBigEndian16(&message, 2, static_cast<uint16_t>(~OnesComplementSum(message)));
    return message;
}

EchoData UniqueEchoData(size_t payloadSize) {
    static std::mt19937_64 random{std::random_device{}()};
    static uint16_t sequence = 0;
    EchoData echo{static_cast<uint16_t>(random()), ++sequence, std::string(4, '\0')};
    PutBigEndian16(&echo.bytes, 0, echo.identifier);
    PutBigEndian16(&echo.bytes, 2, echo.sequence);
    std::string token = "quenda-" + std::to_string(random());
    for (size_t i = 0; i < payloadSize; ++i) echo.bytes += token[i % token.size()];
    return echo;
}

LoopbackTap::LoopbackTap() {
    fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_IP));
    if (fd_ < 0) return;
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_IP);
    where.sll_ifindex = static_cast<int>(::if_nametoindex("lo"));
    if (where.sll_ifindex == 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

LoopbackTap::~LoopbackTap() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<TappedPacket> LoopbackTap::WaitFor(const std::function<bool(std::string_view)>& match, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string packet(70000, '\0');
    while (fd_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) return std::nullopt;
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
        ssize_t got = ::recv(fd_, packet.data(), packet.size(), 0);
        if (got < 20) continue;
        std::string_view seen(packet.data(), static_cast<size_t>(got));
        size_t headerLength = (Byte(seen, 0) & 0x0F) * 4u;
        if ((Byte(seen, 0) >> 4) != 4 || Byte(seen, 9) != kIcmpProtocol || headerLength < 20 || headerLength > seen.size()) {
            continue;
        }
        if (match(seen.substr(headerLength))) {
            return TappedPacket{std::string(seen.substr(0, headerLength)), std::string(seen.substr(headerLength))};
        }
    }
    return std::nullopt;
}

IcmpInjector::IcmpInjector() { fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP); }

IcmpInjector::~IcmpInjector() {
    if (fd_ >= 0) ::close(fd_);
}

bool IcmpInjector::Send(std::string_view message, uint8_t tos, std::string_view ipOptions) {
    int typeOfService = tos;
    if (::setsockopt(fd_, IPPROTO_IP, IP_TOS, &typeOfService, sizeof typeOfService) != 0) return false;
    if (::setsockopt(fd_, IPPROTO_IP, IP_OPTIONS, ipOptions.data(), static_cast<socklen_t>(ipOptions.size())) != 0) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(message.size());
}

}  // namespace quenda::testing
