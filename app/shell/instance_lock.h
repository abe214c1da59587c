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

    // True when this process holds the lock.
    bool Held() const { return fd_ >= 0; }
    // True when another process holds it: a second copy, which ends without a word.
    bool HeldElsewhere() const { return heldElsewhere_; }
    // Why the lock is not held when nobody else holds it either (the lock file cannot be
    // created or locked): "cannot lock PATH: reason"; "" otherwise.
    const std::string& Error() const { return error_; }

  private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    std::string error_;
};

}  // namespace quenda
