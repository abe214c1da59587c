// Walking a DNS message's sections: names, questions, records and the OPT record.
#include "app/relay/message_walk.h"

#include "app/config/ascii_case.h"

namespace quenda {
namespace {

constexpr uint8_t kPointerMark = 0xC0;
constexpr uint8_t kLongestLabel = 63;
constexpr size_t kLongestName = 255;     // octets of a name in wire form
constexpr size_t kQuestionTail = 4;      // QTYPE, QCLASS
constexpr size_t kRecordFixedPart = 10;  // TYPE, CLASS, TTL, RDLENGTH

uint8_t Octet(std::string_view message, size_t offset) {
    return static_cast<uint8_t>(message[offset]);
}

// Offset past the name at offset, or 0 when it cannot be walked or its labels are longer than
// a name may be. plain tells whether the name ended without a pointer.
size_t SkipName(std::string_view message, size_t offset, bool* plain) {
    const size_t start = offset;
    while (offset < message.size() && offset - start < kLongestName) {
        const uint8_t length = Octet(message, offset);
        if (length == 0) {
            *plain = true;
            return offset + 1;
        }
        if (length >= kPointerMark) {
            *plain = false;
            return offset + 2 <= message.size() ? offset + 2 : 0;
        }
        if (length > kLongestLabel) return 0;
        offset += length + 1u;
    }
    return 0;
}

}  // namespace

uint16_t Read16(std::string_view message, size_t offset) {
    if (offset + 2 > message.size()) return 0;
    return static_cast<uint16_t>(Octet(message, offset) << 8 | Octet(message, offset + 1));
}

void Write16(std::string& message, size_t offset, uint16_t value) {
    if (offset + 2 > message.size()) return;
    message[offset] = static_cast<char>(value >> 8);
    message[offset + 1] = static_cast<char>(value & 0xFF);
}

MessageLayout WalkMessage(std::string_view message) {
    MessageLayout layout;
    if (message.size() < kHeaderLength) return layout;
    const uint16_t questions = Read16(message, 4);
    size_t offset = kHeaderLength;
    for (uint16_t q = 0; q < questions; ++q) {
        bool plain = false;
        const size_t nameEnd = SkipName(message, offset, &plain);
        if (nameEnd == 0) return layout;
        if (q == 0) {
            layout.firstNameEnd = nameEnd;
            layout.firstNamePlain = plain;
        }
        offset = nameEnd + kQuestionTail;
        if (offset > message.size()) return layout;
    }
    layout.questionEnd = offset;

    const uint32_t answers = Read16(message, 6), authorities = Read16(message, 8);
    const uint32_t records = answers + authorities + Read16(message, 10);
    for (uint32_t r = 0; r < records; ++r) {
        const size_t start = offset;
        bool plain = false;
        const size_t nameEnd = SkipName(message, offset, &plain);
        if (nameEnd == 0 || nameEnd + kRecordFixedPart > message.size()) return layout;
        const size_t end = nameEnd + kRecordFixedPart + Read16(message, nameEnd + 8);
        if (end > message.size()) return layout;
        if (r >= answers + authorities && Read16(message, nameEnd) == kTypeOpt) {
            if (layout.optCount++ == 0) {
                layout.optStart = start;
                layout.optFields = nameEnd;
                layout.optEnd = end;
            }
        }
        offset = end;
    }
    layout.recordsEnd = offset;
    layout.complete = true;
    return layout;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    size_t offset = 0;
    while (offset < a.size()) {
        const uint8_t length = Octet(a, offset);
        if (length != Octet(b, offset) || length > kLongestLabel) return false;
        if (length == 0) return offset + 1 == a.size();
        if (offset + 1 + length > a.size()) return false;
        for (size_t i = offset + 1; i <= offset + length; ++i) {
            if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
        }
        offset += length + 1u;
    }
    return false;
}

}  // namespace quenda
