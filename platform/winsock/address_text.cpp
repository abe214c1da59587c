// inet_addr and inet_ntoa: dotted IPv4 text to and from addresses, as Winsock reads and
// writes it.
#include <charconv>

#include "platform/winsock/dotted_address.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

thread_local char dottedText[16];

}  // namespace

uint32_t InetAddr(const char* text) {
    if (text == nullptr) return WS_INADDR_NONE;
    const std::optional<uint32_t> host = ParseDottedAddress(text);
    if (!host) return WS_INADDR_NONE;
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? __builtin_bswap32(*host) : *host;
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
