// Local addresses and the name-server address check.
#include "app/config/address_check.h"

#include <algorithm>

#include "platform/winsock/dotted_address.h"

namespace quenda {

void LocalAddresses::Add(std::string address) {
    if (count_ < kCapacity) addresses_[static_cast<size_t>(count_)] = std::move(address);
    if (count_ < INT16_MAX) ++count_;
}

bool LocalAddresses::IsLocalAddress(std::string_view text) const {
    const int stored = std::min<int>(count_, kCapacity);
    for (int i = 0; i < stored; ++i) {
        if ((*this)[i] == text) return true;
    }
    return false;
}

bool SameAddress(std::string_view a, std::string_view b) {
    const std::optional<uint32_t> first = ParseDottedAddress(a);
    return first && first == ParseDottedAddress(b);
}

std::string ValidateAddress(std::string_view text, const LocalAddresses& local) {
    if (!std::all_of(text.begin(), text.end(),
                     [](char c) { return c == '.' || (c >= '0' && c <= '9'); })) {
        return std::string(kInvalidCharacters);
    }
    if (text.size() < 7 || text.size() > 15) return std::string(kFormatError);
    std::string rest(text);
    rest += '.';
    for (int part = 0; part < 4; ++part) {
        const size_t dot = rest.find('.');
        if (dot == std::string::npos) return std::string(kFormatError);
        long value = 0;  // at most 15 digits: no overflow
        for (size_t i = 0; i < dot; ++i) value = value * 10 + (rest[i] - '0');
        if (value > 255) return std::string(kFormatError);
        rest.erase(0, dot + 1);
    }
    if (local.IsLocalAddress(text)) return std::string(kOwnAddress);
    return "";
}

bool IsValidServer(const NameServerList& servers, int position, const LocalAddresses& local) {
    if (position < 0 || position >= kNameServerPositions) return false;
    return ValidateAddress(servers[position].address, local).empty();
}

}  // namespace quenda
