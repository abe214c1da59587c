// Shaping one reply for one client: ID, question spelling, OPT record, size.
#include "app/relay/reply_shaping.h"

#include "app/relay/message_walk.h"

namespace quenda {
namespace {

constexpr uint8_t kTcBit = 0x02;

// The header with TC set, the question if it can be walked, and a minimal OPT for an EDNS
// client; message has the client's ID and spelling already.
std::string Truncated(const std::string& message, const MessageLayout& layout,
                      const ClientEdns& edns) {
    std::string reply = message.substr(0, kHeaderLength);
    reply[2] = static_cast<char>(reply[2] | kTcBit);
    const bool question = Read16(message, 4) > 0 && layout.firstNameEnd != 0 &&
                          layout.firstNameEnd + 4 <= message.size();
    Write16(reply, 4, question ? 1 : 0);
    Write16(reply, 6, 0);
    Write16(reply, 8, 0);
    Write16(reply, 10, edns.present ? 1 : 0);
    if (question) reply.append(message, kHeaderLength, layout.firstNameEnd + 4 - kHeaderLength);
    if (edns.present) AppendMinimalOpt(reply);
    return reply;
}

}  // namespace

std::string ShapeReply(std::string_view reply, const ReplyTarget& target) {
    std::string shaped(target.id.substr(0, 2));
    if (reply.size() > 2) shaped.append(reply.substr(2));
    if (shaped.size() < kHeaderLength) return shaped;

    const MessageLayout layout = WalkMessage(shaped);
    if (layout.firstNamePlain) {
        const size_t nameLength = layout.firstNameEnd - kHeaderLength;
        const std::string_view name = std::string_view(shaped).substr(kHeaderLength, nameLength);
        if (SameNameIgnoringCase(target.question, name)) {
            shaped.replace(kHeaderLength, nameLength, target.question);
        }
    }
    if (!layout.complete) return Truncated(shaped, layout, target.edns);

    const uint16_t additional = Read16(shaped, 10);
    if (!target.edns.present && layout.optCount > 0) {
        // Records after the OPT might point into what follows it; only a last OPT goes.
        if (layout.optCount > 1 || layout.optEnd != layout.recordsEnd) {
            return Truncated(shaped, layout, target.edns);
        }
        shaped.erase(layout.optStart, layout.optEnd - layout.optStart);
        Write16(shaped, 10, static_cast<uint16_t>(additional - 1));
    } else if (target.edns.present && layout.optCount == 0 && additional < 0xFFFF) {
        // After the last record: octets trailing the records, if any, stay where they were.
        std::string opt;
        AppendMinimalOpt(opt);
        shaped.insert(layout.recordsEnd, opt);
        Write16(shaped, 10, static_cast<uint16_t>(additional + 1));
    }
    if (shaped.size() > target.edns.ReplyLimit()) return Truncated(shaped, layout, target.edns);
    return shaped;
}

}  // namespace quenda
