// The event log sink, the log box text and the log file.
#include "app/log/event_log.h"

#include <cerrno>
#include <cstring>

namespace quenda {

EventLog::~EventLog() {
    Flush();
    CloseLogFile();
}

void EventLog::WriteLog(const std::string& text, int level) {
    const int detail = options_.LOG_DETAIL;
    if ((level == 2 && detail == 1) || (level == 3 && (detail == 1 || detail == 2))) return;

    // Drop whole lines from the start; a box without any line end is dropped whole, or it
    // could never shrink.
    size_t trimmed = 0;
    while (box_.size() - trimmed > kLogBoxLimit) {
        const size_t lineFeed = box_.find('\n', trimmed);
        trimmed = lineFeed == std::string::npos ? box_.size() : lineFeed + 1;
    }
    box_.erase(0, trimmed);
    const std::string line = Prefix() + " " + text;
    int fileError = 0;
    box_.append(line).append("\r\n");
    if (file_ != nullptr) {
        std::fputs(line.c_str(), file_);
        std::fputs("\r\n", file_);
        fileWritten_ = true;
        if (std::ferror(file_)) fileError = errno != 0 ? errno : EIO;
    }
    if (mirror_ != nullptr) {
        std::fputs(line.c_str(), mirror_);
        std::fputc('\n', mirror_);
    }
    if (!deferFlush_) Flush();
    if (display_ != nullptr) display_->LogLineAppended(trimmed, line + "\r\n");
    if (fileError != 0) FileWriteFailed(fileError);
}

void EventLog::Flush() {
    if (file_ != nullptr) {
        if (std::fflush(file_) != 0 || std::ferror(file_)) {
            FileWriteFailed(errno != 0 ? errno : EIO);
        } else if (fileWritten_) {
            fileFailReported_ = false;  // lines reach the file again: a new failure is news
        }
        fileWritten_ = false;
    }
    // A mirror nobody reads any more (a closed pipe) is left alone from then on.
    if (mirror_ != nullptr && (std::fflush(mirror_) != 0 || std::ferror(mirror_))) {
        mirror_ = nullptr;
    }
}

std::string EventLog::Prefix() {
    if (!options_.LOG_DATE && !options_.LOG_TIME) return "";
    const std::time_t now = now_();
    // Lines come in bursts within one second; the time is put into words once.
    const int shape = (options_.LOG_DATE ? 1 : 0) | (options_.LOG_TIME ? 2 : 0);
    if (now != prefixTime_ || shape != prefixShape_) {
        prefix_ = FormatPrefix(now);
        prefixTime_ = now;
        prefixShape_ = shape;
    }
    return prefix_;
}

std::string EventLog::FormatPrefix(std::time_t now) const {
    std::tm local{};
    localtime_r(&now, &local);
    const char* format =
        options_.LOG_DATE ? (options_.LOG_TIME ? "%Y-%m-%d %H:%M:%S:" : "%Y-%m-%d:") : "%H:%M:%S:";
    char buffer[64];
    const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

bool EventLog::OpenLogFile() {
    fileFailed_ = false;
    if (!options_.LOG_TOFILE) {
        SetCaption("DNS Log");
        CloseLogFile();
        return true;
    }
    CloseLogFile();
    file_ = std::fopen(options_.LOG_FILE.c_str(), "ab");
    if (file_ == nullptr) return false;
    SetCaption("DNS Log: (" + options_.LOG_FILE + ")");
    return true;
}

void EventLog::SetCaption(const std::string& caption) {
    // Kept without a display too: a window made later shows it.
    caption_ = caption;
    if (display_ != nullptr) display_->SetLogCaption(caption);
}

void EventLog::ClearLogBox() {
    box_.clear();
    if (display_ != nullptr) display_->LogBoxCleared();
}

void EventLog::RetryLogFile() {
    if (fileFailed_) OpenLogFile();
}

void EventLog::CloseLogFile() {
    if (file_ != nullptr) std::fclose(file_);  // flushes what waits
    file_ = nullptr;
    fileWritten_ = false;
}

void EventLog::FileWriteFailed(int error) {
    // Every further line would fail the same way, each a system call; lines already taken
    // are lost either way.
    if (file_ == nullptr) return;  // already closed by this failure
    std::FILE* failed = file_;
    file_ = nullptr;
    fileWritten_ = false;
    fileFailed_ = true;
    std::fclose(failed);
    if (fileFailReported_) return;
    fileFailReported_ = true;
    WriteLog("Error writing logfile " + options_.LOG_FILE + ": " + std::strerror(error) +
                 " (writing to it stopped)",
             1);
}

}  // namespace quenda
