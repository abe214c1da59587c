// A full disk for one test: while the object lives, writing a regular file past bytes fails
// with EFBIG (RLIMIT_FSIZE, with SIGXFSZ ignored); both are put back afterwards.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>

namespace quenda::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(size_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    sighandler_t oldHandler_ = SIG_DFL;
};

}  // namespace quenda::test
