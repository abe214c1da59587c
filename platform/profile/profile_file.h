// Private profile (INI) files with the Windows profile functions' rules: case-blind sections
// and keys, values written in place or appended to their section, the file replaced atomically.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenda {

// An INI file held in memory between one read of the file and one atomic write of it.
class ProfileFile {
  public:
    // Reads the file at path. A missing file is an empty profile; a file that cannot be read
    // to its end gives std::nullopt, with the reason in *error when error is given.
    static std::optional<ProfileFile> Load(const std::string& path, std::string* error = nullptr);

    // Reads, changes and saves the file at path while holding its writers' lock, so writers in
    // other processes take turns and none loses the other's keys. A file that cannot be read
    // whole is never replaced. False, with the reason in *error when given, when the file
    // could not be read, locked or written; the file is then as it was.
    static bool Update(const std::string& path, const std::function<void(ProfileFile&)>& change,
                       std::string* error = nullptr);

    // Parses INI text ("\n" or "\r\n" lines).
    static ProfileFile Parse(std::string_view text);

    // The value of key in section (first occurrence of each, names compared ignoring ASCII
    // case), with surrounding spaces and tabs removed and one pair of matching surrounding
    // quotes dropped; std::nullopt when absent.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets key in section: the key's line is replaced in place, or a line is added after the
    // section's last entry, or the section is added at the end of the file. A value beginning
    // or ending with a blank or a quote is written inside double quotes, so Get gives back
    // every value that holds no line end exactly as it was set.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The file's text, every line ended the way the file's first line was ("\n" when new).
    std::string Text() const;

    // Replaces the file at path with the text atomically (WriteFileAtomically: a symbolic link
    // is written through and the file keeps its mode). False on any failure, with the reason in
    // *error when given, leaving the old file as it was. Takes no lock: see Update.
    bool Save(const std::string& path, std::string* error = nullptr) const;

  private:
    struct Line {
        std::string text;  // without its line ending
    };
    // Index of the section's header line, or -1.
    int FindSection(std::string_view section) const;

    std::vector<Line> lines_;
    bool crlf_ = false;
};

// Reads one value as GetPrivateProfileString does: the value or the default, cut to size - 1
// characters (the room of the caller's buffer). A missing or unreadable file gives the default.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, size_t size,
                                    const std::string& path);

// Writes one value at once, as WritePrivateProfileString does; false when the file could not
// be read or written.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path);

}  // namespace quenda
