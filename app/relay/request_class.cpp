// Sorting requests by what they may share, their clients' EDNS state, and the relay's refusals.
#include "app/relay/request_class.h"

#include "app/relay/message_walk.h"

namespace quenda {
namespace {

constexpr uint8_t kQrBit = 0x80;
constexpr uint8_t kOpcodeBits = 0x78;
constexpr uint8_t kRdBit = 0x01;
constexpr uint8_t kCdBit = 0x10;
constexpr uint16_t kDoBit = 0x8000;

uint8_t Octet(std::string_view message, size_t offset) {
    return static_cast<uint8_t>(message[offset]);
}

// The EDNS state in the first OPT record of a walked message: CLASS is the UDP size, and TTL
// holds the extended RCODE, the version and the flags.
ClientEdns EdnsOf(std::string_view message, const MessageLayout& layout) {
    ClientEdns edns;
    if (layout.optCount == 0) return edns;
    const size_t fields = layout.optFields;
    edns.present = true;
    edns.udpSize = Read16(message, fields + 2);
    edns.version = Octet(message, fields + 5);
    edns.dnssecOk = (Read16(message, fields + 6) & kDoBit) != 0;
    return edns;
}

std::string_view QuestionName(std::string_view message, const MessageLayout& layout) {
    if (layout.firstNameEnd == 0 || !layout.firstNamePlain) return {};
    return message.substr(kHeaderLength, layout.firstNameEnd - kHeaderLength);
}

}  // namespace

RequestClass ClassifyRequest(std::string_view request) {
    RequestClass result;
    if (request.size() < kHeaderLength || (Octet(request, 2) & kQrBit) != 0) return result;
    const MessageLayout layout = WalkMessage(request);
    if (layout.complete) result.edns = EdnsOf(request, layout);
    result.question = QuestionName(request, layout);
    if ((Octet(request, 2) & kOpcodeBits) != 0) {
        result.use = RequestUse::kNotImplemented;
        return result;
    }
    if (Read16(request, 4) != 1 || layout.optCount > 1) {
        result.use = RequestUse::kFormatError;
        return result;
    }
    if (!layout.complete) return result;
    const bool sharable = Read16(request, layout.firstNameEnd + 2) == kClassIn &&
                          result.edns.version == 0 && !result.edns.dnssecOk &&
                          (Octet(request, 3) & kCdBit) == 0;
    if (sharable) result.use = RequestUse::kShared;
    return result;
}

std::string_view QuestionNameOf(std::string_view request) {
    return QuestionName(request, WalkMessage(request));
}

std::string RefusalReply(std::string_view request, uint8_t rcode, bool echoQuestion,
                         const ClientEdns& edns) {
    if (request.size() < kHeaderLength) return {};
    std::string reply(kHeaderLength, '\0');
    reply[0] = request[0];
    reply[1] = request[1];
    reply[2] = static_cast<char>(kQrBit | (Octet(request, 2) & (kOpcodeBits | kRdBit)));
    reply[3] = static_cast<char>(rcode & 0x0F);
    const MessageLayout layout = WalkMessage(request);
    if (echoQuestion && Read16(request, 4) > 0 && layout.firstNameEnd != 0 &&
        layout.firstNameEnd + 4 <= request.size()) {
        Write16(reply, 4, 1);
        reply.append(request.substr(kHeaderLength, layout.firstNameEnd + 4 - kHeaderLength));
    }
    if (edns.present) {
        Write16(reply, 10, 1);
        AppendMinimalOpt(reply);
    }
    return reply;
}

bool MayStoreReply(std::string_view reply) {
    if (reply.size() < kHeaderLength) return false;
    if ((Octet(reply, 2) & kOpcodeBits) != 0 || (Octet(reply, 3) & kCdBit) != 0) return false;
    if (Read16(reply, 4) != 1) return false;
    const MessageLayout layout = WalkMessage(reply);
    if (!layout.complete || layout.optCount > 1) return false;
    if (Read16(reply, layout.firstNameEnd + 2) != kClassIn) return false;
    const ClientEdns edns = EdnsOf(reply, layout);
    return edns.version == 0 && !edns.dnssecOk;
}

std::string OwnKey(std::string_view key, std::string_view idOctets) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string own(key);
    own.push_back('#');
    for (size_t i = 0; i < 2; ++i) {
        const uint8_t octet = i < idOctets.size() ? static_cast<uint8_t>(idOctets[i]) : 0;
        own.push_back(kHex[octet >> 4]);
        own.push_back(kHex[octet & 0x0F]);
    }
    own.push_back('#');
    return own;
}

void AppendMinimalOpt(std::string& message) {
    message.push_back('\0');  // root owner
    message.push_back('\0');
    message.push_back(static_cast<char>(kTypeOpt));
    message.push_back(static_cast<char>(kRelayUdpSize >> 8));
    message.push_back(static_cast<char>(kRelayUdpSize & 0xFF));
    message.append(6, '\0');  // extended RCODE, version 0, flags, no options
}

}  // namespace quenda
