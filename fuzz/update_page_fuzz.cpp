// Fuzzes the update check's readers with whole pages from the network: the lines never hold a
// line break, the information is every line from the eighth on, the installer name is a plain
// name, the proxy entry's host holds no ":" and its port fits, and no two versions are each
// newer than the other.
#include <algorithm>
#include <string>

#include "app/shell/update_page.h"
#include "fuzz/fuzz_support.h"

using namespace quenda;

namespace {

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::AsText(data, size);
    const UpdatePage page = ParseUpdatePage(text);
    for (const std::string* line : {&page.newestVersion, &page.linkAddress, &page.downloadAddress,
                                    &page.installerFileName, &page.downloadNote}) {
        FUZZ_CHECK(!HasLineBreak(*line));
    }
    std::string rest = page.information;
    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        FUZZ_CHECK(end != std::string::npos && end > 0);
        FUZZ_CHECK(!HasLineBreak(rest.substr(0, end)));
        rest.erase(0, end + 2);
    }

    const std::string name = PlainFileName(page.installerFileName);
    FUZZ_CHECK(name.find_first_of("/\\") == std::string::npos);
    FUZZ_CHECK(name != "." && name != "..");
    FUZZ_CHECK(std::none_of(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; }));

    const std::string host = GetProxyFromRegistryString(text, "http");
    FUZZ_CHECK(host.find(':') == std::string::npos);
    const int port = GetProxyPortFromRegistryString(text, "http");
    FUZZ_CHECK(port >= 0 && port <= 65535);

    const std::string_view first = text.substr(0, size / 2);
    const std::string_view second = text.substr(size / 2);
    FUZZ_CHECK(!(IsNewerVersion(first, second) && IsNewerVersion(second, first)));
    const std::string digits = VersionDigits(first);
    FUZZ_CHECK(digits.empty() || digits[0] != '0');
    return 0;
}
