// The one-time import of the seed file DNSIP.DAT into the settings file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenda {

inline constexpr const char* kSeedFileName = "DNSIP.DAT";

// Splits seed-file text into fields: separated by commas or line ends, spaces around a field
// skipped, a field in double quotes may hold commas (and keeps its inner spaces).
std::vector<std::string> SeedFields(std::string_view text);

// Looks in programDirectory (ending in "/") for a file whose name, upper-cased, is DNSIP.DAT.
// When there is one: its first field is dropped, each following group of four fields
// (address, description, enabled, first-answer count) is written as the keys of name-server
// slot 0 to 9 of the settings file (groups past the tenth have no slot and are left out), and
// the seed file is deleted. A last group cut short by the end of the file writes its missing
// fields as empty ("No" and 0 for the flag and count). The seed file is kept when it could
// not be read whole or the settings file could not be written, so nothing is lost. Returns
// the number of groups imported.
int ImportSeedFile(const std::string& programDirectory, const std::string& settingsPath);

}  // namespace quenda
