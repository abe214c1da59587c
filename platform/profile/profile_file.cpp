// INI parsing, editing and atomic saving.
#include "platform/profile/profile_file.h"

#include "platform/files/atomic_file.h"

namespace quenda {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The name of a "[name]" header line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

// Splits "key=value"; nullopt for lines without "=".
std::optional<std::pair<std::string_view, std::string_view>> Entry(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return std::make_pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
}

}  // namespace

std::optional<ProfileFile> ProfileFile::Load(const std::string& path, std::string* error) {
    std::string text;
    std::string reason;
    switch (ReadWholeFile(path, &text, &reason)) {
        case FileRead::kOk:
            return Parse(text);
        case FileRead::kMissing:
            return ProfileFile();
        case FileRead::kFailed:
            break;
    }
    if (error != nullptr) *error = reason;
    return std::nullopt;
}

bool ProfileFile::Update(const std::string& path, const std::function<void(ProfileFile&)>& change,
                         std::string* error) {
    std::string reason;
    const FileWriterLock lock(path);
    if (!lock.Held()) {
        if (error != nullptr) *error = lock.Error();
        return false;
    }
    auto profile = Load(path, &reason);
    if (profile) {
        change(*profile);
        if (profile->Save(path, &reason)) return true;
    }
    if (error != nullptr) *error = reason;
    return false;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
    ProfileFile profile;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        const bool hasCr = !line.empty() && line.back() == '\r';
        // "\r\r\n" (a file converted to CR LF twice) ends a line too: a carriage return kept
        // in the line would be lost at the next read of what Text() writes.
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first && end < text.size()) profile.crlf_ = hasCr;
        first = false;
        profile.lines_.push_back({std::string(line)});
        start = end + 1;
    }
    return profile;
}

int ProfileFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i].text);
        if (name && SameName(*name, section)) return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    const int header = FindSection(section);
    if (header < 0) return std::nullopt;
    for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text)) break;
        const auto entry = Entry(lines_[i].text);
        if (!entry || !SameName(entry->first, key)) continue;
        std::string_view value = entry->second;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return std::nullopt;
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line;
    line.append(key).append("=");
    // Reading drops blanks and one pair of quotes around a value: a value that begins or ends
    // with either goes inside one pair of quotes, so it reads back as it was.
    const auto special = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
    if (!value.empty() && (special(value.front()) || special(value.back()))) {
        line.append("\"").append(value).append("\"");
    } else {
        line.append(value);
    }
    const int header = FindSection(section);
    if (header < 0) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back({""});
        lines_.push_back({"[" + std::string(section) + "]"});
        lines_.push_back({line});
        return;
    }
    size_t insertAt = static_cast<size_t>(header) + 1;
    for (size_t i = insertAt; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text)) break;
        const auto entry = Entry(lines_[i].text);
        if (entry && SameName(entry->first, key)) {
            lines_[i].text = line;
            return;
        }
        if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), {line});
}

std::string ProfileFile::Text() const {
    const char* ending = crlf_ ? "\r\n" : "\n";
    std::string text;
    for (const Line& line : lines_) text.append(line.text).append(ending);
    return text;
}

bool ProfileFile::Save(const std::string& path, std::string* error) const {
    std::string reason;
    if (WriteFileAtomically(path, Text(), &reason)) return true;
    if (error != nullptr) *error = reason;
    return false;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, size_t size,
                                    const std::string& path) {
    const auto profile = ProfileFile::Load(path);
    std::string value(defaultValue);
    if (profile) {
        if (auto stored = profile->Get(section, key)) value = std::move(*stored);
    }
    if (size == 0) return {};
    if (value.size() > size - 1) value.resize(size - 1);
    return value;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
    return ProfileFile::Update(path,
                               [&](ProfileFile& profile) { profile.Set(section, key, value); });
}

}  // namespace quenda
