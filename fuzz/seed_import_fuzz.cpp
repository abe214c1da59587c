// Fuzzes the DNSIP.DAT import with whole seed files: every group up to the last used slot lands
// in its slot as Yes/No and a whole number, none past it, the seed file goes, and the settings
// file reads back.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "app/config/name_server_list.h"
#include "app/config/seed_import.h"
#include "fuzz/fuzz_support.h"
#include "platform/profile/profile_file.h"

using namespace quenda;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string directory = fuzz::ScratchDirectory() + "program/";
    mkdir(directory.c_str(), 0700);
    const std::string seedPath = directory + kSeedFileName;
    const std::string settingsPath = fuzz::ScratchDirectory() + "QUENDA.INI";
    unlink(settingsPath.c_str());
    {
        std::ofstream out(seedPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.good());
    }
    const std::string_view text = fuzz::AsText(data, size);
    const size_t fields = SeedFields(text).size();
    const int groups = ImportSeedFile(directory, settingsPath);
    const size_t inFile = fields > 1 ? (fields - 1 + 3) / 4 : 0;
    FUZZ_CHECK(static_cast<size_t>(groups) == std::min<size_t>(inFile, kUsedNameServers));
    FUZZ_CHECK(access(seedPath.c_str(), F_OK) != 0);

    const auto settings = ProfileFile::Load(settingsPath);
    FUZZ_CHECK(settings.has_value());
    FUZZ_CHECK(!settings->Get("NAMESERVER", "DNS_" + std::to_string(kUsedNameServers) + "_NAME"));
    for (int n = 0; n < groups; ++n) {
        const std::string prefix = "DNS_" + std::to_string(n);
        const auto enabled = settings->Get("NAMESERVER", prefix + "_ENABLED");
        FUZZ_CHECK(enabled == "Yes" || enabled == "No");
        const auto wins = settings->Get("NAMESERVER", prefix + "_WINNING");
        FUZZ_CHECK(wins && !wins->empty() &&
                   wins->find_first_not_of("-0123456789") == std::string::npos);
        FUZZ_CHECK(settings->Get("NAMESERVER", prefix + "_NAME").has_value());
    }
    return 0;
}
