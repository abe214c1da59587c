// quenda: the caching DNS forwarder. Reads the command line, then runs the program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/shell/command_line.h"
#include "app/shell/program.h"

int main(int argc, char** argv) {
    using namespace quenda;
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "quenda: %s\n\n%s", line.error.c_str(), UsageText().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("quenda %s\n", QUENDA_VERSION);
        return 0;
    }
    return RunProgram(line, argc, argv, nullptr);
}
