// What a request says about itself and its client: whether it may share replies and the cache
// with other requests, and what replies its client can take (EDNS). Also the few answers the
// relay gives itself, to requests it does not forward.
//
// Every function takes untrusted bytes and has a defined result for any input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

// The smallest reply every client takes over UDP.
inline constexpr size_t kPlainUdpLimit = 512;
// The UDP size the relay names in an OPT record of its own.
inline constexpr uint16_t kRelayUdpSize = 1232;

inline constexpr uint8_t kRcodeFormErr = 1;
inline constexpr uint8_t kRcodeNotImp = 4;

// The EDNS state of a request: the OPT record it carried, if any.
struct ClientEdns {
    bool present = false;   // the request carried one OPT record
    uint16_t udpSize = 0;   // the UDP payload size it advertised
    uint8_t version = 0;    // its EDNS version
    bool dnssecOk = false;  // its DO bit

    // The longest UDP reply the client takes: 512 octets without EDNS, else its advertised
    // size but never less than 512.
    size_t ReplyLimit() const {
        return present ? std::max<size_t>(udpSize, kPlainUdpLimit) : kPlainUdpLimit;
    }
    bool operator==(const ClientEdns&) const = default;
};

// How the relay treats a request.
enum class RequestUse {
    kShared,          // may be answered from the cache, shares replies with its question's
                      // other askers, and its replies may be stored
    kOwn,             // forwarded, and only its own replies reach its client; never cached
    kNotImplemented,  // not a standard query: answered NOTIMP at once, not forwarded
    kFormatError,     // not exactly one question, or more than one OPT: answered FORMERR
};

struct RequestClass {
    RequestUse use = RequestUse::kOwn;
    ClientEdns edns;
    std::string_view question;  // QuestionNameOf the request, a view into it
};

// Sorts a request. Only opcode QUERY with one question of class IN, EDNS version 0 or no EDNS,
// and neither DO nor CD set is kShared. A datagram shorter than a header, one with QR set, or
// one whose records cannot be walked is kOwn: it is forwarded as it is, and never answered here.
RequestClass ClassifyRequest(std::string_view request);

// The first question's name in wire form, as the request spells it; "" when the name cannot be
// walked or uses a compression pointer.
std::string_view QuestionNameOf(std::string_view request);

// The relay's own answer to a request it does not forward: the request's ID, opcode and RD, QR
// set and the given RCODE; the first question echoed when echoQuestion is set and it can be
// walked; and a minimal OPT record when the client sent one. "" for a datagram shorter than a
// header.
std::string RefusalReply(std::string_view request, uint8_t rcode, bool echoQuestion,
                         const ClientEdns& edns);

// True when a server's reply may go into the cache: it answers a standard query of one class IN
// question, and carries neither the CD bit nor an OPT record with DO set or a version other
// than 0 (such replies answer requests that never share).
bool MayStoreReply(std::string_view reply);

// The pending-table key of a kOwn request: its question key with the message ID it carries
// upstream, in a form no question key can take (question keys end in a type name).
std::string OwnKey(std::string_view key, std::string_view idOctets);

// True for a key made by OwnKey.
inline bool IsOwnKey(std::string_view key) {
    return key.ends_with('#');
}

// Appends a minimal OPT record (root owner, kRelayUdpSize, version 0, no flags, no options).
void AppendMinimalOpt(std::string& message);

}  // namespace quenda
