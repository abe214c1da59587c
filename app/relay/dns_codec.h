// The few looks the relay takes into a DNS message: question name and type, the question
// key, the answer test, the cached-reply rewrite, and query assembly.
//
// Messages are byte strings, one char per octet, in DNS wire format. Every function is pure and
// has a defined result for any input of any length; none of them reports an error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenda {

// Stands in for a question name that cannot be decoded; callers carry it on as the name.
inline constexpr std::string_view kNotDnsStruct = "Not a DNS-Struct!";

// Length of a question key when name and type fit in it.
inline constexpr size_t kCacheKeyLength = 255;

// The dotted question name of the first question, label octets copied as they are.
// Returns kNotDnsStruct for the root name, a compression pointer, a name that runs past the
// end of the message, or a message too short to hold a name.
std::string GetQueryName(std::string_view message);

// The offset just past the first question's name (past its closing zero octet), walking the
// labels from offset 12 (lengths below 192 taken as plain lengths); nullopt when the walk meets
// a compression pointer or runs past the end of the message.
std::optional<size_t> QuestionNameEnd(std::string_view message);

// True when the message can be a DNS query: at least a header, a one-octet name and four
// octets long, QR clear, QDCOUNT not 0, and a first question whose name can be walked
// (QuestionNameEnd) and is followed by its QTYPE and QCLASS. Nothing else is checked.
bool IsDnsQuery(std::string_view message);

// The mnemonic of the 16-bit QTYPE that follows the first question's walked name
// (QueryTypeName), or "-" when the name cannot be walked. Missing QTYPE octets at the end of the
// message read as 0.
std::string GetQueryType(std::string_view message);

// The mnemonic of a full 16-bit type code: the classic table for 1 to 21, the standard
// mnemonic of a well-known later type (AAAA, SRV, ...), otherwise "TYPE" + decimal code.
std::string QueryTypeName(uint16_t code);

// The classic type table, 1 to 21, used both ways: any other code is named "A", and a name
// outside the table (compared case-sensitively) has the code 1.
std::string TypeName(int code);
int TypeCode(std::string_view name);

// The 255-character question key: name, spaces, type name ending at character 255. When name
// and type together are longer, or the name itself ends in a space, they are simply joined: a
// name's own trailing spaces would otherwise vanish into the padding ("a " would share the key
// of "a"), and a joined key shorter than 255 characters is no padded key's twin.
std::string MakeCacheKey(std::string_view message);

// The question key of a decoded name and type name, as MakeCacheKey builds it.
std::string MakeCacheKey(std::string_view name, std::string_view type);

// Printable form of a name or key for logs and lists: a key is cut at its first space (when it
// is at position 5 or later), and a name ending in "in-addr.arpa" shows its address
// (4.3.2.1.in-addr.arpa shows as 1.2.3.4).
std::string ShowName(std::string_view nameOrKey);

// The text with every control octet (below 32, and 127) written as a backslash and three
// decimal digits, as in the DNS presentation form ("\010" for a line feed); other octets stay.
// Names go through this before they enter a log line, so a label cannot forge or colour lines.
std::string EscapeControlOctets(std::string_view text);

// True when a reply has RCODE 0 and a non-zero ANCOUNT; false for anything shorter than a header.
bool IsGoodAnswer(std::string_view reply);

// The stored reply with the request's message ID (its first two octets) in front of octet 2 on.
std::string AnswerFromCache(std::string_view stored, std::string_view request);

// Wire form of a dotted name: each label after its length octet, then a zero octet. Not
// validated: an empty label gives a zero octet inside the name, a trailing "." a second zero,
// and a label longer than 255 octets carries the low octet of its length.
std::string EncodeName(std::string_view dotted);

// Fields of a query message, each two-octet field as its high and low octet.
struct QueryRecord {
    uint8_t id[2] = {0, 0};       // message ID
    uint8_t flags[2] = {0, 0};    // the two flag octets
    uint8_t qdCount[2] = {0, 0};  // question count
    uint8_t anCount[2] = {0, 0};  // answer count
    uint8_t nsCount[2] = {0, 0};  // authority count
    uint8_t arCount[2] = {0, 0};  // additional count
    std::string qName;            // question name already in wire form (EncodeName)
    uint8_t qType[2] = {0, 0};    // question type
    uint8_t qClass[2] = {0, 0};   // question class
};

// The query message of a record, fields in order; nothing is validated.
std::string BuildQuery(const QueryRecord& record);

}  // namespace quenda
