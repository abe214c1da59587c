// The update check's readers: proxy entries, the page's lines, versions and file names.
#include "app/shell/update_page.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "app/config/ascii_case.h"

namespace quenda {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string GetProxyFromRegistryString(std::string_view setting, std::string_view protocol) {
    const std::string upper = Upper(setting);
    const size_t found = upper.find(Upper(protocol));
    if (protocol.empty() || found == std::string::npos) return "";
    const size_t start = std::min(upper.size(), found + protocol.size() + 1);
    const size_t end = upper.find(':', start);
    return upper.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int GetProxyPortFromRegistryString(std::string_view setting, std::string_view protocol) {
    const std::string upper = Upper(setting) + ";";
    const size_t found = upper.find(Upper(protocol));
    if (protocol.empty() || found == std::string::npos) return 0;
    const size_t colon = upper.find(':', found + protocol.size());
    if (colon == std::string::npos) return 0;
    int port = 0;
    const char* first = upper.data() + colon + 1;
    const auto [end, error] = std::from_chars(first, upper.data() + upper.size(), port);
    if (error != std::errc() || end == first || port < 0 || port > 65535) return 0;
    return port;
}

bool IsProxyAddress(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; });
}

UpdatePage ParseUpdatePage(std::string_view page) {
    std::vector<std::string_view> lines;
    size_t at = 0;
    while (at < page.size()) {
        const size_t start = page.find_first_not_of("\r\n", at);
        if (start == std::string_view::npos) break;
        size_t end = page.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = page.size();
        lines.push_back(page.substr(start, end - start));
        at = end;
    }
    const auto line = [&](size_t number) {
        return number <= lines.size() ? std::string(lines[number - 1]) : std::string();
    };
    UpdatePage result;
    result.newestVersion = line(2);
    result.linkAddress = line(3);
    result.downloadAddress = line(4);
    result.installerFileName = line(5);
    result.downloadNote = line(6);
    const std::string size = line(7);
    uint32_t bytes = 0;
    const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), bytes);
    if (error == std::errc() && end == size.data() + size.size()) result.installerSize = bytes;
    for (size_t number = 8; number <= lines.size(); ++number) {
        result.information += line(number) + "\r\n";
    }
    return result;
}

std::string VersionDigits(std::string_view version) {
    std::string digits;
    for (const char c : version) {
        if (IsDigit(c) && !(digits.empty() && c == '0')) digits += c;
    }
    return digits;
}

bool IsNewerVersion(std::string_view pageVersion, std::string_view programVersion) {
    const std::string page = VersionDigits(pageVersion);
    const std::string program = VersionDigits(programVersion);
    if (page.size() != program.size()) return page.size() > program.size();
    return page > program;
}

std::string PlainFileName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    if (name.empty() || name == "." || name == "..") return "";
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return control ? "" : std::string(name);
}

bool IsHttpsAddress(std::string_view address) {
    constexpr std::string_view kScheme = "https://";
    return address.size() > kScheme.size() &&
           Upper(address.substr(0, kScheme.size())) == "HTTPS://";
}

}  // namespace quenda
