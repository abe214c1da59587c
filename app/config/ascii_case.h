// ASCII letter case eight octets at a time, for the 255-octet question keys that every request
// folds or hashes. Octets above 127 are not letters in every code page, so they stay exact.
#pragma once

#include <cstdint>

namespace quenda {

// The 0x20 bit of every octet of word that is an ASCII 'a' to 'z', and no other bit.
inline uint64_t LowerCaseLetterBits(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    // Bit 7 of each octet after the additions: at least 'a', above 'z'. No octet carries over.
    const uint64_t low7 = word & (0x7F * kOnes);
    const uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;
    const uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * kOnes;
    return (atLeastA & ~aboveZ & ~word & (0x80 * kOnes)) >> 2;
}

inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace quenda
