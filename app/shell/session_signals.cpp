// Session-end signals through a socket pair; SIGPIPE ignored.
#include "app/shell/session_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace quenda {
namespace {

// [0] is read by the loop, [1] written by the handler.
int signalPipe[2] = {-1, -1};

void OnSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool CatchSessionEndSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return false;
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (sigaction(SIGPIPE, &ignore, nullptr) != 0) return false;

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        if (sigaction(number, &action, nullptr) != 0) return false;
    }
    return true;
}

int SessionEndDescriptor() {
    return signalPipe[0];
}

int TakeSessionEndSignal() {
    char byte = 0;
    if (signalPipe[0] < 0 || read(signalPipe[0], &byte, 1) != 1) return 0;
    return static_cast<unsigned char>(byte);
}

}  // namespace quenda
