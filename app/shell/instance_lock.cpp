// Single-instance lock over flock.
#include "app/shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quenda {

InstanceLock::InstanceLock(const std::string& directory) {
    const std::string path = directory + "quenda.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = "cannot lock " + path + ": " + std::strerror(errno);
        return;
    }
    int result = 0;
    while ((result = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        // Only a lock another process holds means a second copy.
        if (errno == EWOULDBLOCK) {
            heldElsewhere_ = true;
        } else {
            error_ = "cannot lock " + path + ": " + std::strerror(errno);
        }
        close(fd);
        return;
    }
    fd_ = fd;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace quenda
