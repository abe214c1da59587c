// ICMP message framing: the Internet checksum, building a message to send, and finding the
// message in what a raw IPv4 socket reads.
#include "controls/icmpport/icmp_message.h"

namespace quenda {
namespace {

constexpr size_t kChecksumOffset = 2;
constexpr uint8_t kPlainIpv4FirstByte = 0x45;  // version 4, five header words

uint8_t Byte(std::string_view bytes, size_t i) {
    return static_cast<uint8_t>(bytes[i]);
}

}  // namespace

uint16_t InternetChecksum(std::string_view bytes, bool skipChecksumField) {
    // 32 bits hold the sum of any IPv4 packet's words (at most 32768 of 0xFFFF) without loss.
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        if (skipChecksumField && i == kChecksumOffset) continue;
        sum += static_cast<uint32_t>(Byte(bytes, i)) << 8 | Byte(bytes, i + 1);
    }
    if (i < bytes.size()) sum += static_cast<uint32_t>(Byte(bytes, i)) << 8;
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::string BuildIcmpMessage(uint8_t type, uint8_t code, std::string_view data) {
    std::string message(kIcmpHeaderSize + data.size(), '\0');
    message[0] = static_cast<char>(type);
    message[1] = static_cast<char>(code);
    message.replace(kIcmpHeaderSize, data.size(), data);
    uint16_t checksum = InternetChecksum(message);
    message[kChecksumOffset] = static_cast<char>(checksum >> 8);
    message[kChecksumOffset + 1] = static_cast<char>(checksum & 0xFF);
    return message;
}

std::string_view IcmpMessageOfPacket(std::string_view packet) {
    if (packet.size() >= kPlainIpv4HeaderSize && Byte(packet, 0) == kPlainIpv4FirstByte &&
        Byte(packet, 1) == 0) {
        return packet.substr(kPlainIpv4HeaderSize);
    }
    return packet;
}

bool IcmpChecksumIntact(std::string_view message) {
    if (message.size() < kIcmpHeaderSize) return false;
    uint16_t stored = static_cast<uint16_t>(Byte(message, kChecksumOffset) << 8 |
                                            Byte(message, kChecksumOffset + 1));
    return InternetChecksum(message, true) == stored;
}

}  // namespace quenda
