// Fits a reply to the one client it goes to: the client's message ID and spelling of the
// question, an OPT record only when the client sent one, and no more octets than it takes.
#pragma once

#include <string>
#include <string_view>

#include "app/relay/request_class.h"

namespace quenda {

// What shaping needs to know of the client a reply goes to.
struct ReplyTarget {
    std::string_view id;        // the request's first two octets
    std::string_view question;  // the request's question name (QuestionNameOf), "" when unknown
    ClientEdns edns;            // the request's EDNS state
};

// The reply as this client should receive it:
// - the client's message ID in the first two octets;
// - the question name spelt as the client spelt it, when the two differ only in letter case
//   (the length stays, so compression pointers stay valid);
// - without EDNS in the request, the reply's OPT record removed; with EDNS in the request and
//   none in the reply, a minimal OPT record (version 0) added;
// - when the result is longer than ReplyLimit(), only the header with TC set, the question and
//   (for an EDNS client) a minimal OPT record, so the client asks again over TCP.
// A reply whose records cannot be walked, or whose OPT record cannot be taken out without
// moving records after it, gets that truncated form too. A reply shorter than a header only
// gets the ID.
std::string ShapeReply(std::string_view reply, const ReplyTarget& target);

}  // namespace quenda
