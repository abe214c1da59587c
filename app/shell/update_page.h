// What the update check reads: the proxy entry of the Internet settings, the update page, the
// version comparison and the installer's file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

// The host of protocol's entry in a proxy setting such as "http=10.0.0.1:3128;ftp=...":
// found case-blind, the protocol name and the one character after it ("=") skipped, then
// everything up to the next ":" or the end, upper-cased. "" when the protocol is not named.
std::string GetProxyFromRegistryString(std::string_view setting, std::string_view protocol);

// The port of protocol's entry: the number after the first ":" that follows the protocol name,
// ending at the first character that is not a digit. 0 when the protocol is not named, no ":"
// follows, no digit follows it or the number is larger than 65535.
int GetProxyPortFromRegistryString(std::string_view setting, std::string_view protocol);

// True when text holds only digits and "." (the empty text included): a proxy given by
// address, not by name.
bool IsProxyAddress(std::string_view text);

// The update page, line by line: lines are separated by any run of CR and LF characters.
struct UpdatePage {
    std::string newestVersion;      // line 2
    std::string linkAddress;        // line 3: opened in the browser
    std::string downloadAddress;    // line 4: where the installer comes from
    std::string installerFileName;  // line 5, as the page gives it
    std::string downloadNote;       // line 6
    uint32_t installerSize = 0;     // line 7 in bytes; 0 when it is not a number that fits
    std::string information;        // lines 8 to the end, each followed by CR LF
};

// Reads any text as a page; missing lines stay empty.
UpdatePage ParseUpdatePage(std::string_view page);

// The digits of a version text in their order, read as one number ("1.2.10" -> 1210), as text
// without leading zeros ("" for no digits), so that any length compares without overflow.
std::string VersionDigits(std::string_view version);

// True when the page's version, read as VersionDigits, is greater than the program's.
bool IsNewerVersion(std::string_view pageVersion, std::string_view programVersion);

// The page's installer name reduced to a plain file name: what follows the last "/" or "\".
// "" when nothing usable is left ("", ".", ".." or a name with a control character).
std::string PlainFileName(std::string_view name);

// True for an "https://" address (scheme case-blind) with something after it.
bool IsHttpsAddress(std::string_view address);

}  // namespace quenda
