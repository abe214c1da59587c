// What every fuzz target shares: the entry points libFuzzer calls, a hard check that stops the
// run on a broken promise, a scratch directory for parsers of files, and record framing for
// inputs that carry a sequence of events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Stops the run with the failed condition: libFuzzer keeps the input as a crash, the replay fails.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace quenda::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A directory of this process under /dev/shm (or the temporary directory), removed at exit;
// ends in "/".
const std::string& ScratchDirectory();

// Reads records of the form tag (1 octet), length (2 octets, high first), body; a record cut
// short by the end of the input takes what is left as its body.
class RecordReader {
  public:
    explicit RecordReader(std::string_view input) : rest_(input) {}

    // The next record; false when the input is used up.
    bool Next(uint8_t* tag, std::string_view* body) {
        if (rest_.empty()) return false;
        *tag = static_cast<uint8_t>(rest_[0]);
        size_t length = 0;
        if (rest_.size() >= 3) {
            length = static_cast<uint8_t>(rest_[1]) << 8 | static_cast<uint8_t>(rest_[2]);
        }
        rest_.remove_prefix(rest_.size() >= 3 ? 3 : rest_.size());
        if (length > rest_.size()) length = rest_.size();
        *body = rest_.substr(0, length);
        rest_.remove_prefix(length);
        return true;
    }

  private:
    std::string_view rest_;
};

}  // namespace quenda::fuzz
