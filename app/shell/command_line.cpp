// Command-line parsing.
#include "app/shell/command_line.h"

#include <arpa/inet.h>

#include <charconv>

namespace quenda {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string* {
            if (i + 1 < arguments.size()) return &arguments[++i];
            line.error = argument + " needs a value";
            return nullptr;
        };
        if (argument == "--headless") {
            line.headless = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--home") {
            if (const std::string* dir = value()) {
                if (dir->empty()) line.error = "--home needs a directory";
                line.home = *dir;
            }
        } else if (argument == "--port") {
            if (const std::string* text = value()) {
                unsigned port = 0;
                const auto [end, ec] =
                    std::from_chars(text->data(), text->data() + text->size(), port);
                if (ec != std::errc() || end != text->data() + text->size() || port < 1 ||
                    port > 65535) {
                    line.error = "--port needs a number from 1 to 65535, not \"" + *text + "\"";
                } else {
                    line.port = static_cast<uint16_t>(port);
                }
            }
        } else if (argument == "--listen") {
            if (const std::string* address = value()) {
                in_addr parsed{};
                if (inet_pton(AF_INET, address->c_str(), &parsed) != 1) {
                    line.error = "--listen needs an IPv4 address, not \"" + *address + "\"";
                }
                line.listen = *address;
            }
        } else {
            line.error = "unknown option \"" + argument + "\"";
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: quenda [--headless] [--home DIR] [--port N] [--listen ADDR]\n"
           "\n"
           "A caching DNS forwarder.\n"
           "\n"
           "  --headless     run without windows; log lines also go to standard output\n"
           "  --home DIR     keep settings, cache, log and registry in DIR\n"
           "  --port N       serve DNS on UDP and TCP port N instead of 53\n"
           "  --listen ADDR  serve DNS on this one IPv4 address instead of on all of them\n"
           "  --help         show this text\n"
           "  --version      show the program version\n";
}

}  // namespace quenda
