// The program's command line: quenda [--headless] [--home DIR] [--port N] [--listen ADDR]
// [--help] [--version].
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenda {

struct CommandLine {
    bool headless = false;  // no windows; log lines also go to standard output
    std::string home;       // "" = the XDG directories; else data, settings and registry here
    uint16_t port = 53;     // the DNS service's UDP and TCP port
    std::string listen;     // the one IPv4 address the DNS service binds; "" = every address
    bool help = false;
    bool version = false;
    std::string error;  // why the command line was refused; "" when it was taken
};

// Reads the arguments after the program name. Unknown options, a missing value, a port
// outside 1 to 65535 and a --listen value that is not a dotted IPv4 address are refused with
// a message in `error`.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints.
std::string UsageText();

}  // namespace quenda
