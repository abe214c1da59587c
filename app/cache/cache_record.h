// The record format of the cache table: how a value is cut into chained chunks and how keys
// are normalised before they reach the index.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quenda {

// Value octets carried by one chunk before the value continues in another record.
inline constexpr size_t kChunkValueSize = 249;
// "/" and four random octets: the key of a continuation record.
inline constexpr size_t kContinuationKeySize = 5;
// Mark + 249 value octets + the next record's key.
inline constexpr size_t kContinuedChunkSize = 1 + kChunkValueSize + kContinuationKeySize;
inline constexpr char kLastChunkMark = '\0';
inline constexpr char kContinuedChunkMark = '\1';
// The largest DNS message; nothing longer is stored or read back.
inline constexpr size_t kMaxCachedValueSize = 65535;
// Records the chain of the largest value needs; a longer chain is damage.
inline constexpr size_t kMaxChainRecords =
    (kMaxCachedValueSize + kChunkValueSize - 1) / kChunkValueSize;

// The key as the index holds it: ASCII letters upper-cased, every other octet unchanged.
std::string IndexKey(std::string_view key);

// One chunk read back from a record.
struct ChunkView {
    enum class Kind {
        kLast,       // the value ends in this chunk
        kContinued,  // the value goes on in the record named by next
        kDamaged,    // empty, or marked continued without the exact continued size
    };
    Kind kind = Kind::kDamaged;
    std::string_view value;  // the value octets this chunk carries
    std::string_view next;   // continuation key as stored in the chunk (kContinued only)
};

// Reads a chunk; views point into chunk. Any mark other than code 0 means "continued", so
// only a chunk of exactly kContinuedChunkSize octets can continue.
ChunkView ParseChunk(std::string_view chunk);

// A last chunk carrying value (any length; the store keeps it under kChunkValueSize + 1).
std::string MakeLastChunk(std::string_view value);
// A continued chunk: value must be kChunkValueSize octets, next kContinuationKeySize.
std::string MakeContinuedChunk(std::string_view value, std::string_view next);

}  // namespace quenda
