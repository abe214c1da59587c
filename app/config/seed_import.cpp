// Seed file parsing and import.
#include "app/config/seed_import.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <optional>

#include "app/config/name_server_list.h"
#include "app/config/settings_values.h"
#include "platform/files/atomic_file.h"
#include "platform/profile/profile_file.h"

namespace quenda {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The seed file's name as it stands in the directory, matched ignoring case.
std::optional<std::string> FindSeedFile(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = readdir(dir)) {
        std::string upper = entry->d_name;
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (upper == kSeedFileName) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

std::vector<std::string> SeedFields(std::string_view text) {
    std::vector<std::string> fields;
    while (!text.empty()) {
        size_t lineEnd = text.find('\n');
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;  // blank line

        size_t i = 0;
        for (;;) {
            while (i < line.size() && IsBlank(line[i])) ++i;
            std::string field;
            if (i < line.size() && line[i] == '"') {
                const size_t close = std::min(line.find('"', i + 1), line.size());
                field.assign(line.substr(i + 1, close - i - 1));
                i = std::min(close + 1, line.size());
                while (i < line.size() && line[i] != ',') ++i;  // anything after the quote
            } else {
                const size_t start = i;
                while (i < line.size() && line[i] != ',') ++i;
                size_t end = i;
                while (end > start && IsBlank(line[end - 1])) --end;
                field.assign(line.substr(start, end - start));
            }
            fields.push_back(std::move(field));
            if (i >= line.size()) break;
            ++i;  // the comma
        }
    }
    return fields;
}

int ImportSeedFile(const std::string& programDirectory, const std::string& settingsPath) {
    const auto name = FindSeedFile(programDirectory);
    if (!name) return 0;
    const std::string seedPath = programDirectory + *name;
    // A seed file read in part would be deleted with the rest of its groups never imported.
    std::string text;
    std::string error;
    if (ReadWholeFile(seedPath, &text, &error) != FileRead::kOk) return 0;

    const std::vector<std::string> fields = SeedFields(text);
    int groups = 0;
    const bool saved = ProfileFile::Update(settingsPath, [&](ProfileFile& settings) {
        // Only the slots the program has are read back; writing the keys of thousands more
        // would cost a search of the growing section each.
        for (size_t first = 1; first < fields.size() && groups < kUsedNameServers;
             first += 4, ++groups) {
            const auto field = [&](size_t k) {
                return first + k < fields.size() ? fields[first + k] : std::string();
            };
            const std::string prefix = "DNS_" + std::to_string(groups);
            settings.Set("NAMESERVER", prefix + "_NAME", field(0));
            settings.Set("NAMESERVER", prefix + "_DESC", field(1));
            const std::string enabled = field(2);
            const size_t flag = enabled.find_first_not_of(" \t");
            settings.Set("NAMESERVER", prefix + "_ENABLED",
                         flag != std::string::npos && enabled[flag] == '1' ? "Yes" : "No");
            const auto wins = ReadWholeNumber(field(3), std::numeric_limits<int16_t>::min(),
                                              std::numeric_limits<int16_t>::max());
            settings.Set("NAMESERVER", prefix + "_WINNING", WholeNumberText(wins.value_or(0)));
        }
    });
    if (!saved) return 0;
    unlink(seedPath.c_str());
    return groups;
}

}  // namespace quenda
