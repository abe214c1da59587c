// Recording stand-ins for the update check's window, desktop and installer opener, and the
// settings and pages the tests use.
#pragma once

#include <string>
#include <vector>

#include "app/shell/update_check.h"

namespace quenda::test {

struct RecordingUpdateWindow final : UpdateCheckWindow {
    void ShowFace(const UpdateFace& shown) override { face = shown; }
    void SetStatusLine(const std::string& text) override { statusLine = text; }
    void CloseDialog() override { ++closed; }
    UpdateFace face;
    std::string statusLine;
    int closed = 0;
};

struct RecordingLinks final : Desktop {
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

struct RecordingOpener final : InstallerOpener {
    bool OpenInstaller(const std::string& path) override {
        opened.push_back(path);
        return works;
    }
    std::vector<std::string> opened;
    bool works = true;
};

// An update page in the format the maker's server gives, with mixed line breaks and an empty
// line that does not count.
inline std::string UpdatePageText(const std::string& version, const std::string& download,
                                  const std::string& name, const std::string& size) {
    return "Quenda update\r\n" + version + "\n\n" + "https://quenda.invalid/news\r\n" + download +
           "\r\n" + name + "\r\n" + "The download takes a minute.\r\n" + size + "\r\n" +
           "Faster cache\r\nFewer clicks";
}

}  // namespace quenda::test
