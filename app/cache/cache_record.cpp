// The record format of the cache table: how a value is cut into chained chunks and how keys
// are normalised before they reach the index.
#include "app/cache/cache_record.h"

namespace quenda {

std::string IndexKey(std::string_view key) {
    // ASCII only: octets above 127 are not letters in every code page, so they stay exact.
    std::string upper(key);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
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
