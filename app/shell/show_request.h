// A second start raises the first: a copy running with windows listens on a local socket in
// the data directory, and a second start asks it there to show its window.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace quenda {

// The socket's path for a data directory (ending in "/").
std::string ShowRequestPath(const std::string& dataDirectory);

// Listens on path (replacing a file a crashed copy left behind) and calls onShow for every
// request; the socket is removed again on destruction. Listening() is false when the socket
// could not be made, and then nothing is ever called.
class ShowRequests {
  public:
    ShowRequests(std::string path, std::function<void()> onShow);
    ~ShowRequests();
    ShowRequests(const ShowRequests&) = delete;
    ShowRequests& operator=(const ShowRequests&) = delete;

    bool Listening() const { return fd_ >= 0; }

  private:
    void Accept();

    std::string path_;
    std::function<void()> onShow_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Asks the copy listening on path to show its window; false when no copy listens there (a
// copy without windows, or one that is ending). Waits at most a second; writes no file.
bool AskRunningCopyToShow(const std::string& path);

}  // namespace quenda
