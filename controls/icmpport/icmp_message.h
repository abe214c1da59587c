// ICMP message framing: the Internet checksum, building a message to send, and finding the
// message in what a raw IPv4 socket reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

// Bytes of the ICMP header the control writes: type, code, checksum.
inline constexpr size_t kIcmpHeaderSize = 4;
// An IPv4 header without options.
inline constexpr size_t kPlainIpv4HeaderSize = 20;
// The largest IPv4 header (15 words), room a read needs besides the ICMP message.
inline constexpr size_t kMaxIpv4HeaderSize = 60;

// The Internet checksum (RFC 1071) of bytes taken as 16-bit words in network order, an odd
// last byte padded with a zero byte; the result is in host order, to be stored big-endian.
// When skipChecksumField is true the two bytes at offsets 2 and 3 count as zero, which is
// how an ICMP message's own checksum is computed and checked.
uint16_t InternetChecksum(std::string_view bytes, bool skipChecksumField = false);

// A whole ICMP message: type, code, the checksum over the message, then data unchanged.
// May throw std::bad_alloc.
std::string BuildIcmpMessage(uint8_t type, uint8_t code, std::string_view data);

// What a raw ICMP socket read holds: the packet without its IPv4 header when the header is a
// plain one (at least 20 bytes read, first byte 0x45, type of service 0); any other packet as
// it stands. Nothing from the header (such as its length fields) is trusted.
std::string_view IcmpMessageOfPacket(std::string_view packet);

// True when message (at least kIcmpHeaderSize bytes) carries the checksum of its contents at
// offsets 2-3; false for a damaged message or one too short to hold a header.
bool IcmpChecksumIntact(std::string_view message);

}  // namespace quenda
