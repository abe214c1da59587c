// Whole-file reads and atomic whole-file replacement, shared by every file the program rewrites
// (the settings file, the registry), with a lock that keeps writers of one file in turn.
#pragma once

#include <string>

namespace quenda {

// An exclusive lock on the file's writers, across processes: flock on the file beside the
// (link-resolved) path named path + ".lock", created when missing. Waits for the lock; held
// while the object lives. Readers never take it: they see the old or the new file whole.
class FileWriterLock {
  public:
    explicit FileWriterLock(const std::string& path);
    ~FileWriterLock();
    FileWriterLock(const FileWriterLock&) = delete;
    FileWriterLock& operator=(const FileWriterLock&) = delete;

    // True when held; otherwise Error() tells why ("cannot lock PATH: reason").
    bool Held() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }

  private:
    int fd_ = -1;        // open lock file, -1 when the lock is not held
    std::string error_;  // why the lock is not held
};

// How a whole-file read ended.
enum class FileRead {
    kOk,       // *text holds the whole file
    kMissing,  // there is no file at path (*text is empty)
    kFailed,   // the file exists but could not be read to its end; *text is empty
};

// Reads the file at path to its end. Any read error, however late, and anything but a regular
// file is kFailed with the reason in *error ("cannot read PATH: reason"), so nobody works on
// part of a file.
FileRead ReadWholeFile(const std::string& path, std::string* text, std::string* error);

// The file that writing path changes: path with every symbolic link followed (a relative
// link is read from the link's own directory), up to 40 links; path itself when it is no link.
std::string LinkTarget(const std::string& path);

// Replaces the file at path with text so that readers see the old file or the new one, never
// a mix: the text goes to a temporary file of a unique name beside the link-resolved target,
// reaches the disk, and is renamed over the target. A symbolic link stays a link; the target
// keeps its permission bits (0644 for a new file). False on any failure, with the reason in
// *error ("cannot write PATH: reason") and the old file untouched. Callers that read, change
// and write hold a FileWriterLock around all three.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);

}  // namespace quenda
