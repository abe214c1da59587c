// Plain-socket tools for ICMP on loopback: a tap that sees every IPv4 packet on lo, an
// injector of crafted ICMP messages, and unique echo data, so tests recognise their own
// packets among whatever other ICMP traffic the host carries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quenda::testing {

// Why raw ICMP tests cannot run here, or "" when they can (raw ICMP sockets open).
std::string RawIcmpUnavailableReason();

// Why the kernel will not answer an echo request to 127.0.0.1, or "" when it will.
std::string EchoUnansweredReason();

// The one's-complement sum of bytes as 16-bit big-endian words (odd byte padded), folded to
// 16 bits: 0xFFFF for a message carrying a correct Internet checksum.
uint16_t OnesComplementSum(std::string_view bytes);

// A message with a correct checksum: type, code, checksum, data.
std::string IcmpMessage(uint8_t type, uint8_t code, std::string_view data);

// Echo data no other packet carries: identifier, sequence number (big-endian) and a payload
// with a random token.
struct EchoData {
    uint16_t identifier;
    uint16_t sequence;
    std::string bytes;  // identifier, sequence, payload
};
EchoData UniqueEchoData(size_t payloadSize = 24);

// One IPv4 packet seen on lo.
struct TappedPacket {
    std::string header;   // the IPv4 header, options included
    std::string message;  // what follows it
    uint8_t Ttl() const { return static_cast<uint8_t>(header[8]); }
};

// An AF_PACKET socket on lo: sees every IPv4 packet, ICMP messages too short for a raw ICMP
// socket included.
class LoopbackTap {
public:
    LoopbackTap();
    ~LoopbackTap();
    LoopbackTap(const LoopbackTap&) = delete;
    LoopbackTap& operator=(const LoopbackTap&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The first ICMP packet from now on whose message satisfies match, waiting at most
    // timeoutMs; nullopt if none came.
    std::optional<TappedPacket> WaitFor(const std::function<bool(std::string_view)>& match, int timeoutMs = 3000);

private:
    int fd_ = -1;
};

// A raw ICMP socket that sends crafted messages to 127.0.0.1, with a chosen type of service
// and IP options (whole 4-byte words).
class IcmpInjector {
public:
    IcmpInjector();
    ~IcmpInjector();
    IcmpInjector(const IcmpInjector&) = delete;
    IcmpInjector& operator=(const IcmpInjector&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Send(std::string_view message, uint8_t tos = 0, std::string_view ipOptions = {});

private:
    int fd_ = -1;
};

}  // namespace quenda::testing
