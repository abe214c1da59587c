// Fuzzes the INI reader with whole files: reading what it writes changes nothing, and a value
// it sets reads back while every other value stays as it was.
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/profile/profile_file.h"

using namespace quenda;

namespace {

struct Name {
    const char* section;
    const char* key;
};
constexpr Name kNames[] = {{"OPTIONS", "LOG_FILE"},
                           {"options", "log_detail"},
                           {"NAMESERVER", "DNS_0_NAME"},
                           {"NAMESERVER", "DNS_0_DESC"},
                           {"N_SERVERS", "NDNS"},
                           {"STATISTICS", "TOTALQ"},
                           {"A", "B"},
                           {"n_servers", "Ndns"}};

std::vector<std::optional<std::string>> Values(const ProfileFile& profile) {
    std::vector<std::optional<std::string>> values;
    for (const Name& name : kNames) values.push_back(profile.Get(name.section, name.key));
    return values;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool SameEntry(const Name& a, const Name& b) {
    return SameText(a.section, b.section) && SameText(a.key, b.key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProfileFile profile = ProfileFile::Parse(fuzz::AsText(data, size));
    const std::string text = profile.Text();
    const ProfileFile again = ProfileFile::Parse(text);
    FUZZ_CHECK(again.Text() == text);
    FUZZ_CHECK(Values(again) == Values(profile));

    // Setting one value of the table: it reads back, the others do not move.
    const size_t chosen = size == 0 ? 0 : data[0] % std::size(kNames);
    std::vector<std::optional<std::string>> expected = Values(profile);
    for (size_t i = 0; i < std::size(kNames); ++i) {
        if (SameEntry(kNames[i], kNames[chosen])) expected[i] = "set value";
    }
    profile.Set(kNames[chosen].section, kNames[chosen].key, "set value");
    FUZZ_CHECK(Values(profile) == expected);
    FUZZ_CHECK(Values(ProfileFile::Parse(profile.Text())) == expected);
    return 0;
}
