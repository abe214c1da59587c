// quenda: the caching DNS forwarder. Reads the command line, then runs the program with its
// windows when a display is there, without them when asked to or when there is none.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/command_line.h"
#include "app/shell/program.h"
#include "app/views/front_end.h"

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
    if (line.headless) return RunProgram(line, argc, argv, nullptr);
    if (!DisplayAvailable()) {
        std::fputs(
            "quenda: no display to open windows on (DISPLAY and WAYLAND_DISPLAY name none that "
            "answers): running without windows\n",
            stderr);
        return RunProgram(line, argc, argv, nullptr);
    }
    const std::unique_ptr<FrontEnd> windows = MakeWidgetsFrontEnd();
    return RunProgram(line, argc, argv, windows.get());
}
