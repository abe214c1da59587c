// The event log: filters lines by detail level, puts the date and time in front, keeps the
// log box text capped at 20000 characters, and writes the log file.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "app/config/options.h"
#include "app/log/log_sink.h"

namespace quenda {

inline constexpr size_t kLogBoxLimit = 20000;

// The windows that show the log; every call is optional for the program to draw.
class LogDisplay {
  public:
    virtual ~LogDisplay() = default;
    // A line reached the log box: the first `trimmed` characters of the box were dropped, then
    // `line` (ending in "\r\n") was appended. A view that mirrors the box does the same.
    virtual void LogLineAppended(size_t trimmed, const std::string& line) = 0;
    // The log box was emptied.
    virtual void LogBoxCleared() = 0;
    // The caption of the log frame: "DNS Log" or "DNS Log: (path)".
    virtual void SetLogCaption(const std::string& caption) = 0;
};

class EventLog final : public LogSink {
  public:
    using WallClock = std::function<std::time_t()>;

    // Reads LOG_DETAIL, LOG_DATE, LOG_TIME, LOG_TOFILE and LOG_FILE from options at every use.
    explicit EventLog(
        const Options& options, WallClock now = [] { return std::time(nullptr); })
        : options_(options), now_(std::move(now)) {}
    ~EventLog() override;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Writes the line when its level passes LOG_DETAIL: level 2 needs a detail other than 1,
    // level 3 one other than 1 and 2. The line is the prefix ("date time:", "date:", "time:"
    // or nothing), a space and the text; it goes to the box, the log file when one is open,
    // and the mirror. Never fails towards its caller.
    void WriteLog(const std::string& text, int level) override;

    // Opens LOG_FILE for appending when LOG_TOFILE is on (closing any file open before), or
    // closes the file when it is off, and sets the log caption. False when the file could not
    // be opened; the caption then stays as it was.
    bool OpenLogFile();

    // After a write to the log file failed (a full disk, say) the file is closed and one
    // level-1 line says so; lines then go to the box and the mirror only. This opens the file
    // again when that happened (a later failure of the same streak is not reported again).
    void RetryLogFile();

    bool LogFileOpen() const { return file_ != nullptr; }
    // "DNS Log", or "DNS Log: (path)" while OpenLogFile has a file open.
    const std::string& LogCaption() const { return caption_; }
    const std::string& LogBox() const { return box_; }
    void ClearLogBox();

    void SetDisplay(LogDisplay* display) { display_ = display; }
    // Also writes every line, ended by "\n", to this stream (standard output when headless),
    // until a write to it fails.
    void SetMirror(std::FILE* mirror) { mirror_ = mirror; }
    bool Mirroring() const { return mirror_ != nullptr; }
    // Deferred, lines wait in the streams' buffers until Flush instead of being written one
    // system call each; the owner flushes whenever its event loop is about to wait.
    void DeferFlush(bool defer) { deferFlush_ = defer; }
    void Flush();

  private:
    std::string Prefix();
    std::string FormatPrefix(std::time_t now) const;
    void CloseLogFile();
    void SetCaption(const std::string& caption);
    void FileWriteFailed(int error);

    const Options& options_;
    WallClock now_;
    LogDisplay* display_ = nullptr;
    std::FILE* mirror_ = nullptr;
    std::FILE* file_ = nullptr;
    bool deferFlush_ = false;
    bool fileWritten_ = false;       // lines were put to the file since the last flush
    bool fileFailed_ = false;        // the file was closed after a failed write
    bool fileFailReported_ = false;  // that failure streak has been logged
    std::string box_;
    std::string caption_ = "DNS Log";
    std::string prefix_;  // the last prefix made, for prefixTime_ and prefixShape_
    std::time_t prefixTime_ = -1;
    int prefixShape_ = 0;  // LOG_DATE as bit 0, LOG_TIME as bit 1
};

}  // namespace quenda
