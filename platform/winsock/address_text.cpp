// inet_addr and inet_ntoa: dotted IPv4 text to and from addresses, as Winsock reads and
// writes it.
#include <charconv>

#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

bool IsDigitOf(char c, int base) {
    if (c >= '0' && c <= '7') return true;
    if (c == '8' || c == '9') return base >= 10;
    return base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Reads one part ("0x1f", "017", "31") at *text; false when there is no number or it grows
// past 32 bits.
bool ReadPart(const char*& text, uint64_t* value) {
    int base = 10;
    if (*text == '0') {
        base = 8;
        ++text;
        if (*text == 'x' || *text == 'X') {
            base = 16;
            ++text;
            if (!IsDigitOf(*text, 16)) return false;  // "0x" alone is no number
        }
        // A lone "0" is a complete octal zero.
    } else if (!IsDigitOf(*text, 10)) {
        return false;
    }
    uint64_t result = 0;
    while (IsDigitOf(*text, base)) {
        result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(*text));
        if (result > 0xffffffffu) return false;
        ++text;
    }
    // A digit the base does not allow ("08") ends the part badly.
    if (*text >= '0' && *text <= '9') return false;
    *value = result;
    return true;
}

thread_local char dottedText[16];

}  // namespace

uint32_t InetAddr(const char* text) {
    if (text == nullptr) return WS_INADDR_NONE;
    uint64_t parts[4];
    int count = 0;
    const char* cursor = text;
    for (;;) {
        if (count == 4 || !ReadPart(cursor, &parts[count])) return WS_INADDR_NONE;
        ++count;
        if (*cursor != '.') break;
        ++cursor;
    }
    // Text may end, or go on after white space; anything else spoils it.
    if (*cursor != '\0' && !IsSpace(*cursor)) return WS_INADDR_NONE;

    // "a", "a.b", "a.b.c", "a.b.c.d": the last part fills the bytes that remain.
    constexpr uint64_t kLastPartLimit[] = {0xffffffffu, 0xffffffu, 0xffffu, 0xffu};
    uint64_t lastLimit = kLastPartLimit[count - 1];
    uint32_t host = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xff) return WS_INADDR_NONE;
        host |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
    }
    if (parts[count - 1] > lastLimit) return WS_INADDR_NONE;
    host |= static_cast<uint32_t>(parts[count - 1]);
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? __builtin_bswap32(host) : host;
}

char* InetNtoa(WS_in_addr address) {
    // Every datagram's sender passes through here: no format parsing.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
    char* end = dottedText;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) *end++ = '.';
        end = std::to_chars(end, dottedText + sizeof dottedText, bytes[i]).ptr;
    }
    *end = '\0';
    return dottedText;
}

}  // namespace quenda::wsock
