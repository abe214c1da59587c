// The host's own addresses and the check of a name-server address typed by the user.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/config/name_server_list.h"

namespace quenda {

// Up to 16 dotted IPv4 addresses of this host; 127.0.0.1 and 255.255.255.255 always first.
class LocalAddresses {
  public:
    static constexpr int kCapacity = 16;

    LocalAddresses() { Add("127.0.0.1"), Add("255.255.255.255"); }

    // Stores the address at the next position; past position 15 only the count grows.
    void Add(std::string address);

    // True when text equals a stored address exactly (no trimming, case-sensitive).
    bool IsLocalAddress(std::string_view text) const;

    int Count() const { return count_; }
    const std::string& operator[](int position) const {
        return addresses_[static_cast<size_t>(position)];
    }

  private:
    std::array<std::string, kCapacity> addresses_;
    int16_t count_ = 0;
};

inline constexpr std::string_view kInvalidCharacters = "Invalid characters";
inline constexpr std::string_view kFormatError = "Format error";
inline constexpr std::string_view kOwnAddress = "This is your own ip address!";

// True when both texts are IPv4 addresses as datagrams are sent to them (ParseDottedAddress)
// and the same address: "127.000.000.002" and "127.0.0.2" name one server.
bool SameAddress(std::string_view a, std::string_view b);

// "" when text is a usable name-server address, else the message saying why not: only digits
// and dots, 7 to 15 characters, four dot-separated parts of at most 255 (an empty part counts
// as 0, text after the fourth part is not looked at), and not one of this host's addresses.
std::string ValidateAddress(std::string_view text, const LocalAddresses& local);

// True when the address of the position passes ValidateAddress; an empty position, or one
// outside 0 to 15, is not a valid server.
bool IsValidServer(const NameServerList& servers, int position, const LocalAddresses& local);

}  // namespace quenda
