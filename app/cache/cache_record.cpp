// The record format of the cache table: how a value is cut into chained chunks and how keys
// are normalised before they reach the index.
#include "app/cache/cache_record.h"

#include <cstdint>
#include <cstring>

#include "app/config/ascii_case.h"

namespace quenda {

std::string IndexKey(std::string_view key) {
    std::string upper(key);
    size_t i = 0;
    for (; i + 8 <= upper.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, upper.data() + i, sizeof word);
        word ^= LowerCaseLetterBits(word);
        std::memcpy(upper.data() + i, &word, sizeof word);
    }
    for (; i < upper.size(); ++i) upper[i] = UpperAscii(upper[i]);
    return upper;
}

ChunkView ParseChunk(std::string_view chunk) {
    ChunkView view;
    if (chunk.empty()) return view;
    if (chunk.front() == kLastChunkMark) {
        view.kind = ChunkView::Kind::kLast;
        view.value = chunk.substr(1);
        return view;
    }
    if (chunk.size() != kContinuedChunkSize) return view;
    view.kind = ChunkView::Kind::kContinued;
    view.value = chunk.substr(1, kChunkValueSize);
    view.next = chunk.substr(1 + kChunkValueSize);
    return view;
}

std::string MakeLastChunk(std::string_view value) {
    std::string chunk(1, kLastChunkMark);
    chunk.append(value);
    return chunk;
}

std::string MakeContinuedChunk(std::string_view value, std::string_view next) {
    std::string chunk(1, kContinuedChunkMark);
    chunk.append(value);
    chunk.append(next);
    return chunk;
}

}  // namespace quenda
