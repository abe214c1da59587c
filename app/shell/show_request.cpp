// The local socket through which a second start asks the running copy to show its window.
#include "app/shell/show_request.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstring>

namespace quenda {
namespace {

constexpr char kShowRequest = 'S';

// The address of path; false when the path does not fit a socket address.
bool MakeAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::string ShowRequestPath(const std::string& dataDirectory) {
    return dataDirectory + "quenda.socket";
}

ShowRequests::ShowRequests(std::string path, std::function<void()> onShow)
    : path_(std::move(path)), onShow_(std::move(onShow)) {
    sockaddr_un address{};
    if (!MakeAddress(path_, &address)) return;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    // Only this copy holds the instance lock, so whatever is there was left by a crash.
    unlink(path_.c_str());
    const mode_t oldMask = umask(077);  // nobody else may raise our window
    const bool bound = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(oldMask);
    if (!bound || listen(fd_, 4) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Accept(); });
}

ShowRequests::~ShowRequests() {
    notifier_.reset();
    if (fd_ < 0) return;
    close(fd_);
    unlink(path_.c_str());
}

void ShowRequests::Accept() {
    const int client = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    // The request is one byte, already written when the connection is made; anything else,
    // or nothing, is no request.
    pollfd ready{client, POLLIN, 0};
    char byte = 0;
    const bool asked =
        poll(&ready, 1, 200) == 1 && read(client, &byte, 1) == 1 && byte == kShowRequest;
    close(client);
    if (asked && onShow_) onShow_();
}

bool AskRunningCopyToShow(const std::string& path) {
    sockaddr_un address{};
    if (!MakeAddress(path, &address)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    timeval second{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
    const bool asked = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       write(fd, &kShowRequest, 1) == 1;
    close(fd);
    return asked;
}

}  // namespace quenda
