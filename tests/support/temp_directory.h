// A private temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace quenda::test {

class TempDirectory {
  public:
    // Makes a new directory (mode 0700) under the system's temporary directory.
    TempDirectory() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "quenda-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }

    // Removes the directory and its content, giving back permissions a test took away.
    ~TempDirectory() {
        if (path_.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            }
        }
        fs::remove_all(path_, ec);
    }

    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // The directory; empty when it could not be made.
    const std::filesystem::path& Path() const { return path_; }

    // The path of name inside the directory.
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes bytes to name inside the directory, replacing what was there; the full path.
    std::filesystem::path WriteFile(const std::string& name, std::string_view bytes) const {
        std::filesystem::path file = path_ / name;
        WriteText(file, bytes);
        return file;
    }

    // The whole content of file; "" when it cannot be read.
    static std::string ReadText(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Replaces the content of file with bytes; nothing happens when it cannot be opened.
    static void WriteText(const std::filesystem::path& file, std::string_view bytes) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

  private:
    std::filesystem::path path_;  // the directory; empty when mkdtemp failed
};

}  // namespace quenda::test
