// DNS messages for tests.
#include "tests/support/dns_builder.h"

namespace quenda::test {
namespace {

void Put16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

}  // namespace

std::string Build(const DnsMessage& message) {
    std::string out;
    Put16(out, message.id);
    out.push_back(static_cast<char>((message.response ? 0x81 : 0x01) |  // QR, RD
                                    (message.opcode & 0x0F) << 3));
    out.push_back(static_cast<char>((message.response ? (0x80 | (message.rcode & 0x0F)) : 0) |
                                    (message.checkingDisabled ? 0x10 : 0)));
    Put16(out, message.questions);
    Put16(out, message.answers);
    Put16(out, 0);
    Put16(out, message.opt ? 1 : 0);
    for (uint16_t q = 0; q < message.questions; ++q) {
        std::string_view name = message.name;
        while (!name.empty()) {
            const size_t dot = name.find('.');
            const std::string_view label = name.substr(0, dot);
            out.push_back(static_cast<char>(label.size()));
            out.append(label);
            if (dot == std::string_view::npos) break;
            name.remove_prefix(dot + 1);
        }
        out.push_back('\0');
        Put16(out, message.type);
        Put16(out, message.qclass);
    }
    for (uint16_t i = 0; i < message.answers; ++i) {
        out += "\xc0\x0c";
        Put16(out, message.type);
        Put16(out, 1);
        out += std::string("\x00\x00\x0e\x10", 4);  // TTL 3600
        Put16(out, static_cast<uint16_t>(message.answerData.size()));
        out += message.answerData;
    }
    if (message.opt) {
        out.push_back('\0');
        Put16(out, 41);
        Put16(out, message.opt->udpSize);
        out.push_back('\0');  // extended RCODE
        out.push_back(static_cast<char>(message.opt->version));
        Put16(out, message.opt->dnssecOk ? 0x8000 : 0);
        Put16(out, 0);
    }
    return out;
}

namespace {

std::string Message(std::string_view name, uint16_t type, uint16_t id, bool response, uint8_t rcode,
                    uint16_t answers) {
    DnsMessage m;
    m.id = id;
    m.response = response;
    m.rcode = rcode;
    m.answers = answers;
    m.name = std::string(name);
    m.type = type;
    return Build(m);
}

}  // namespace

std::string Query(std::string_view name, uint16_t type, uint16_t id) {
    return Message(name, type, id, false, 0, 0);
}

std::string GoodReply(std::string_view name, uint16_t type, uint16_t id) {
    return Message(name, type, id, true, 0, 1);
}

std::string NegativeReply(std::string_view name, uint16_t type, uint16_t id) {
    return Message(name, type, id, true, 3, 0);
}

uint16_t IdOf(std::string_view message) {
    if (message.size() < 2) return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(message[0]) << 8 |
                                 static_cast<uint8_t>(message[1]));
}

}  // namespace quenda::test
