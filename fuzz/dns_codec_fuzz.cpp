// Fuzzes the DNS codec with whole datagrams: every look the relay takes must have a defined
// result, and a question name that decodes must encode back to the octets it came from.
#include <algorithm>

#include "app/relay/dns_codec.h"
#include "fuzz/fuzz_support.h"

using namespace quenda;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message = fuzz::AsText(data, size);
    const std::string name = GetQueryName(message);
    const std::string type = GetQueryType(message);
    const std::string key = MakeCacheKey(message);
    // Names that end in a blank are left unpadded, so they keep a key of their own.
    FUZZ_CHECK(key.size() >= kCacheKeyLength || (!name.empty() && name.back() == ' '));
    FUZZ_CHECK(key == MakeCacheKey(name, type));
    FUZZ_CHECK(!ShowName(key).empty());
    FUZZ_CHECK(!type.empty());
    (void)ShowName(name);
    (void)IsGoodAnswer(message);

    const std::string answer = AnswerFromCache(message, message.substr(0, size / 2));
    FUZZ_CHECK(answer.size() <= std::max<size_t>(size, 2));

    if (name != kNotDnsStruct) {
        FUZZ_CHECK(size > 12 && name.size() < size - 12);
        // A name whose dotted parts are all walkable label lengths survives the way out and back.
        bool walkable = true;
        for (size_t start = 0; start <= name.size();) {
            const size_t dot = std::min(name.find('.', start), name.size());
            walkable = walkable && dot > start && dot - start < 192;
            start = dot + 1;
        }
        if (walkable) {
            QueryRecord record;
            record.qName = EncodeName(name);
            FUZZ_CHECK(GetQueryName(BuildQuery(record)) == name);
        }
    }
    return 0;
}
