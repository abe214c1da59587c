// Where the sections of a DNS message lie, found by walking its names and records without
// following compression pointers, and the few fields the relay reads or writes there.
//
// Every function takes untrusted bytes and has a defined result for any input; a walk never
// reads past the end of the message and takes at most one step per octet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

inline constexpr size_t kHeaderLength = 12;
inline constexpr uint16_t kTypeOpt = 41;
inline constexpr uint16_t kClassIn = 1;

// The offsets of a message's parts, as far as the walk got.
struct MessageLayout {
    bool complete = false;        // header, every question and every record lie within the message
    size_t firstNameEnd = 0;      // past the first question's name; 0 when it cannot be walked
    bool firstNamePlain = false;  // that name is labels alone, without a compression pointer
    size_t questionEnd = 0;       // past the question section; 0 when it cannot be walked
    size_t recordsEnd = 0;        // past the last record; 0 unless complete
    int optCount = 0;             // OPT records among the additional records
    size_t optStart = 0;          // the first OPT record's first octet (its owner name)
    size_t optFields = 0;         // its TYPE field, past the owner name
    size_t optEnd = 0;            // past the first OPT record
};

// Walks the header's counts of questions and records. Label lengths of 64 to 191 (reserved
// label types) end the walk, as does a name longer than 255 octets, or a name or record that
// runs past the end.
MessageLayout WalkMessage(std::string_view message);

// The 16-bit field at offset, high octet first; 0 when the message is too short for it.
uint16_t Read16(std::string_view message, size_t offset);

// Writes a 16-bit field at offset, high octet first; does nothing when it would not fit.
void Write16(std::string& message, size_t offset, uint16_t value);

// True when two wire-form names are the same labels ignoring ASCII letter case; label lengths
// must match exactly, and the names must be walkable labels ending in a zero octet.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace quenda
