// The second-copy check: an exclusive lock on a file in the data directory, held for the
// program's life and released by the system when the process ends, however it ends.
#pragma once

#include <string>

namespace quenda {

class InstanceLock {
  public:
    // Tries to take the lock on directory + "quenda.lock" without waiting.
    explicit InstanceLock(const std::string& directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock; false when another copy does (or the lock file
    // cannot be opened at all).
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace quenda
