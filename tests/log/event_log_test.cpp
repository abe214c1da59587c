// Log levels, prefixes, the capped log box and the log file.
#include "app/log/event_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

class RecordingDisplay final : public LogDisplay {
  public:
    void LogLineAppended(size_t trimmed, const std::string& line) override {
        box.erase(0, trimmed);
        box += line;
    }
    void LogBoxCleared() override { box.clear(); }
    void SetLogCaption(const std::string& text) override { caption = text; }
    std::string box;
    std::string caption = "(unset)";
};

class EventLogTest : public ::testing::Test {
  protected:
    EventLogTest() {
        options.LOG_TIME = false;
        log.SetDisplay(&display);
    }
    Options options;
    // 2026-12-07 10:05:09 UTC; the prefix is local time, so tests use TZ-independent checks.
    EventLog log{options, [] { return std::time_t{1796638009}; }};
    RecordingDisplay display;
};

TEST_F(EventLogTest, LevelsFollowTheDetailSetting) {
    options.LOG_DETAIL = 1;
    log.WriteLog("one", 1);
    log.WriteLog("two", 2);
    log.WriteLog("three", 3);
    EXPECT_EQ(log.LogBox(), " one\r\n");
    options.LOG_DETAIL = 2;
    log.WriteLog("two", 2);
    log.WriteLog("three", 3);
    EXPECT_EQ(log.LogBox(), " one\r\n two\r\n");
    options.LOG_DETAIL = 5;  // not 1 or 2: every line passes
    log.WriteLog("three", 3);
    EXPECT_EQ(display.box, " one\r\n two\r\n three\r\n");
}

TEST_F(EventLogTest, PrefixesCarryDateAndTime) {
    options.LOG_DATE = true;
    options.LOG_TIME = true;
    log.WriteLog("x", 1);
    options.LOG_TIME = false;
    log.WriteLog("y", 1);
    options.LOG_DATE = false;
    options.LOG_TIME = true;
    log.WriteLog("z", 1);
    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d: x\r\n"
        "\\d{4}-\\d\\d-\\d\\d: y\r\n"
        "\\d\\d:\\d\\d:\\d\\d: z\r\n");
    EXPECT_TRUE(std::regex_match(log.LogBox(), expected)) << log.LogBox();
}

TEST_F(EventLogTest, BoxDropsWholeOldLinesPast20000Characters) {
    const std::string line(98, 'a');  // 98 + space + CRLF = 101 per line
    for (int i = 0; i < 198; ++i) log.WriteLog(line, 1);
    EXPECT_EQ(log.LogBox().size(), 19998u);
    log.WriteLog(line, 1);  // 20099: over the cap, trimmed before the next append
    EXPECT_EQ(log.LogBox().size(), 20099u);
    log.WriteLog("new", 1);
    EXPECT_EQ(log.LogBox().size(), 19998u + 6u);
    EXPECT_TRUE(log.LogBox().ends_with(" new\r\n"));
    EXPECT_EQ(log.LogBox().find(line), 1u);  // still starts at a line boundary
    EXPECT_EQ(display.box, log.LogBox());    // a view following the trims holds the same

    // One line longer than the whole cap cannot be trimmed line by line: it goes whole.
    log.ClearLogBox();
    log.WriteLog(std::string(30000, 'b') + "\n" + std::string(25000, 'c'), 1);
    log.WriteLog("after", 1);
    EXPECT_EQ(log.LogBox(), " after\r\n");
    EXPECT_EQ(display.box, log.LogBox());
}

TEST_F(EventLogTest, DeferredLinesReachFileAndMirrorOnFlush) {
    test::TempDirectory dir;
    const auto contents = [](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::time_t now = 1796638009;
    options.LOG_TIME = true;
    options.LOG_TOFILE = true;
    options.LOG_FILE = (dir.Path() / "Quenda.LOG").string();
    EventLog deferred(options, [&now] { return now; });
    ASSERT_TRUE(deferred.OpenLogFile());
    std::FILE* mirror = std::fopen((dir.Path() / "stdout").c_str(), "w");
    ASSERT_NE(mirror, nullptr);
    deferred.SetMirror(mirror);
    deferred.DeferFlush(true);

    deferred.WriteLog("first", 1);
    now += 1;  // the next second gets its own prefix
    deferred.WriteLog("second", 1);
    EXPECT_EQ(contents(options.LOG_FILE), "");
    EXPECT_EQ(contents(dir.Path() / "stdout"), "");

    deferred.Flush();
    const std::string file = contents(options.LOG_FILE);
    EXPECT_TRUE(std::regex_match(file, std::regex("(\\d\\d):(\\d\\d):(\\d\\d): first\r\n"
                                                  "\\d\\d:\\d\\d:\\d\\d: second\r\n")))
        << file;
    EXPECT_NE(file.substr(0, 9), file.substr(file.find("\r\n") + 2, 9));
    EXPECT_EQ(contents(dir.Path() / "stdout"), [&] {
        std::string lines = file;
        for (size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.erase(at, 1);
        return lines;
    }());
    deferred.SetMirror(nullptr);
    std::fclose(mirror);
}

TEST_F(EventLogTest, LogFileOpensAppendsAndCloses) {
    test::TempDirectory dir;
    options.LOG_TOFILE = true;
    options.LOG_FILE = (dir.Path() / "Quenda.LOG").string();
    dir.WriteFile("Quenda.LOG", "old\r\n");
    ASSERT_TRUE(log.OpenLogFile());
    EXPECT_EQ(display.caption, "DNS Log: (" + options.LOG_FILE + ")");
    log.WriteLog("Q: 1.2.3.4 for: a.b", 1);
    std::ifstream in(options.LOG_FILE, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "old\r\n Q: 1.2.3.4 for: a.b\r\n");

    options.LOG_TOFILE = false;
    EXPECT_TRUE(log.OpenLogFile());
    EXPECT_EQ(display.caption, "DNS Log");
    EXPECT_FALSE(log.LogFileOpen());

    display.caption = "kept";
    options.LOG_TOFILE = true;
    options.LOG_FILE = (dir.Path() / "no" / "such" / "dir.log").string();
    EXPECT_FALSE(log.OpenLogFile());
    EXPECT_EQ(display.caption, "kept");
    log.WriteLog("no file, no trouble", 1);
    EXPECT_TRUE(log.LogBox().ends_with(" no file, no trouble\r\n"));
}

TEST_F(EventLogTest, AFileOrMirrorThatFailsIsNoLongerWrittenAndAFileFailureIsToldOnce) {
    signal(SIGPIPE, SIG_IGN);  // as the program does: a closed pipe fails the write
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // nobody reads the mirror
    std::FILE* mirror = fdopen(ends[1], "w");
    ASSERT_NE(mirror, nullptr);
    log.SetMirror(mirror);
    options.LOG_TOFILE = true;
    options.LOG_FILE = "/dev/full";
    ASSERT_TRUE(log.OpenLogFile());
    const std::string told =
        " Error writing logfile /dev/full: No space left on device (writing to it stopped)\r\n";

    log.WriteLog("first", 1);
    EXPECT_FALSE(log.Mirroring());
    EXPECT_FALSE(log.LogFileOpen());
    log.WriteLog("second", 1);
    EXPECT_EQ(log.LogBox(), " first\r\n" + told + " second\r\n");

    log.RetryLogFile();  // at the next save: opened again, fails again, same streak
    EXPECT_TRUE(log.LogFileOpen());
    log.WriteLog("third", 1);
    EXPECT_FALSE(log.LogFileOpen());
    EXPECT_EQ(log.LogBox().find(told), log.LogBox().rfind(told));

    // A file that takes lines ends the streak: the next failure is told again.
    test::TempDirectory dir;
    options.LOG_FILE = (dir.Path() / "Quenda.LOG").string();
    ASSERT_TRUE(log.OpenLogFile());
    log.WriteLog("fourth", 1);
    options.LOG_FILE = "/dev/full";
    ASSERT_TRUE(log.OpenLogFile());
    log.WriteLog("fifth", 1);
    EXPECT_TRUE(log.LogBox().ends_with(" fifth\r\n" + told));
    EXPECT_EQ(test::TempDirectory::ReadText(dir.Path() / "Quenda.LOG"), " fourth\r\n");
    std::fclose(mirror);
}

}  // namespace
}  // namespace quenda
