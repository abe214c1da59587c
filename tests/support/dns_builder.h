// Builds DNS messages for tests: queries and replies with chosen ID, name, type, RCODE, answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenda::test {

// An OPT record's fields.
struct OptRecord {
    uint16_t udpSize = 1232;
    uint8_t version = 0;
    bool dnssecOk = false;
};

struct DnsMessage {
    uint16_t id = 0x1234;
    bool response = false;
    uint8_t rcode = 0;
    uint8_t opcode = 0;
    bool checkingDisabled = false;  // CD
    uint16_t questions = 1;         // QDCOUNT; the question is written this many times
    uint16_t answers = 0;           // ANCOUNT; one A record per answer is appended
    std::string name = "host.example.net";
    uint16_t type = 1;
    uint16_t qclass = 1;
    std::string answerData = std::string("\x0a\x00\x00\x01", 4);  // rdata of each answer
    std::optional<OptRecord> opt;  // an OPT record after the answers (ARCOUNT 1)
};

// The wire form of the message: header, the question (QDCOUNT times), `answers` records that
// point back at the question name, then the OPT record if there is one.
std::string Build(const DnsMessage& message);

// A query for name/type with the given ID.
std::string Query(std::string_view name, uint16_t type = 1, uint16_t id = 0x1234);

// A usable reply (RCODE 0, one answer) for name/type with the given ID.
std::string GoodReply(std::string_view name, uint16_t type = 1, uint16_t id = 0x1234);

// A name-error reply (RCODE 3, no answer) for name/type with the given ID.
std::string NegativeReply(std::string_view name, uint16_t type = 1, uint16_t id = 0x1234);

// The message ID in the first two octets.
uint16_t IdOf(std::string_view message);

}  // namespace quenda::test
