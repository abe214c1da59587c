// Dotted IPv4 text read the way inet_addr reads it. The Winsock layer parses every address it
// sends to with this, and the program compares addresses with it, so two texts compare equal
// exactly when datagrams to them go to the same address.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quenda {

// The address in host byte order (first part in the highest octet) of one to four parts
// separated by ".", each decimal, octal after a leading 0 or hexadecimal after 0x; the last
// part fills the octets that remain ("10.1" is 10.0.0.1). White space may follow the address.
// nullopt for anything else: no digits, a part too large, a digit its base does not allow
// ("08"), more than four parts, or other trailing text.
inline std::optional<uint32_t> ParseDottedAddress(std::string_view text) {
    const auto digit = [](char c, int base) -> int {
        int value = 99;
        if (c >= '0' && c <= '9') value = c - '0';
        if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        return value < base ? value : -1;
    };
    uint64_t parts[4];
    int count = 0;
    size_t i = 0;
    for (;;) {
        if (count == 4 || i == text.size()) return std::nullopt;
        int base = 10;
        if (text[i] == '0') {
            base = 8;
            ++i;
            if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
                base = 16;
                ++i;
                // "0x" alone is no number.
                if (i == text.size() || digit(text[i], 16) < 0) return std::nullopt;
            }
            // A lone "0" is a complete octal zero.
        } else if (digit(text[i], 10) < 0) {
            return std::nullopt;
        }
        uint64_t value = 0;
        for (; i < text.size() && digit(text[i], base) >= 0; ++i) {
            value =
                value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit(text[i], base));
            if (value > 0xffffffffu) return std::nullopt;
        }
        // A digit the base does not allow ends the part badly.
        if (i < text.size() && text[i] >= '0' && text[i] <= '9') return std::nullopt;
        parts[count++] = value;
        if (i == text.size() || text[i] != '.') break;
        ++i;
    }
    // Text may end, or go on after white space; anything else spoils it.
    if (i < text.size()) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') {
            return std::nullopt;
        }
    }
    constexpr uint64_t kLastPartLimit[] = {0xffffffffu, 0xffffffu, 0xffffu, 0xffu};
    uint32_t address = 0;
    for (int p = 0; p < count - 1; ++p) {
        if (parts[p] > 0xff) return std::nullopt;
        address |= static_cast<uint32_t>(parts[p]) << (24 - 8 * p);
    }
    if (parts[count - 1] > kLastPartLimit[count - 1]) return std::nullopt;
    return address | static_cast<uint32_t>(parts[count - 1]);
}

}  // namespace quenda
