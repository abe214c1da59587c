// Whole-file reads, link-following atomic replacement and the writers' lock.
#include "platform/files/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quenda {
namespace {

constexpr int kMaxLinks = 40;
constexpr mode_t kNewFileMode = 0644;

std::string Reason(const char* what, const std::string& path, int err) {
    return std::string(what) + " " + path + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

FileWriterLock::FileWriterLock(const std::string& path) {
    const std::string lock = LinkTarget(path) + ".lock";
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode);
    if (fd_ < 0) {
        error_ = Reason("cannot lock", lock, errno);
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error_ = Reason("cannot lock", lock, errno);
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

FileWriterLock::~FileWriterLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

FileRead ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
    text->clear();
    // Non-blocking, so a FIFO put in the file's place cannot stall the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return FileRead::kMissing;
        *error = Reason("cannot read", path, errno);
        return FileRead::kFailed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "cannot read " + path + ": not a regular file";
        ::close(fd);
        return FileRead::kFailed;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = Reason("cannot read", path, errno);
            text->clear();
            ::close(fd);
            return FileRead::kFailed;
        }
        if (n == 0) break;
        text->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return FileRead::kOk;
}

std::string LinkTarget(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        char target[4096];
        const ssize_t n = ::readlink(current.c_str(), target, sizeof target);
        if (n < 0 || static_cast<size_t>(n) >= sizeof target) return current;
        std::string next(target, static_cast<size_t>(n));
        current = next.front() == '/' ? next : DirectoryOf(current) + next;
    }
    return current;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::string target = LinkTarget(path);
    std::string temporary = target + ".tmp.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("cannot write", path, errno);
        return false;
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        *error = Reason("cannot write", path, err);
    }
    return ok;
}

}  // namespace quenda
