// The "Configure Log" dialog's logic: what it opens with, its tip line, and what OK changes
// in the log, the log file and the settings file.
#include "app/shell/log_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/profile/profile_file.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

class LogSettingsTest : public SessionTest {
  protected:
    void Start(const std::string& options) {
        dir.WriteFile("QUENDA.INI", "[OPTIONS]\n" + options);
        session = Make();
        ASSERT_EQ(session->Load(), StartOutcome::kRunning);
        form = std::make_unique<LogSettingsForm>(*session, messages);
        form->Open();
    }
    std::string Saved(const char* key) const {
        return GetPrivateProfileString("OPTIONS", key, "<absent>", 200, Ini());
    }

    std::unique_ptr<Session> session;
    std::unique_ptr<LogSettingsForm> form;
};

TEST_F(LogSettingsTest, OpensWithTheOptionsAndOkSetsOpensAndSavesThem) {
    Start("LOG_DETAIL=3\nLOG_DATE=Yes\nLOG_TIME=No\n");
    LogSettingsFields& fields = form->Fields();
    EXPECT_EQ(fields.level, 3);
    EXPECT_TRUE(fields.date);
    EXPECT_FALSE(fields.time);
    EXPECT_FALSE(fields.toFile);
    EXPECT_FALSE(form->PathEditable());
    EXPECT_EQ(fields.path, paths.dataDirectory + "Quenda.LOG");  // an empty path is filled
    EXPECT_EQ(session->GetOptions().LOG_FILE, fields.path);

    // The tip line is rewritten only when its text changes.
    EXPECT_EQ(form->Tip(), "");
    EXPECT_TRUE(form->PointAt(LogSettingsPart::kLevels));
    EXPECT_EQ(form->Tip(), "Select datail level for the log window");
    EXPECT_FALSE(form->PointAt(LogSettingsPart::kLevels));
    EXPECT_TRUE(form->PointAt(LogSettingsPart::kDateTime));
    EXPECT_EQ(form->Tip(), "Include Time/Date in the log");
    EXPECT_TRUE(form->PointAt(LogSettingsPart::kFile));
    EXPECT_EQ(form->Tip(), "Write log also into file");

    const std::string file = dir.Path().string() + "/chosen.log";
    fields = {1, false, true, true, file};
    EXPECT_TRUE(form->PathEditable());
    form->Ok();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(session->LogCaption(), "DNS Log: (" + file + ")");
    session->Log().WriteLog("Q: reaches the file", 1);
    session->Log().WriteLog("A: too detailed now", 2);
    const std::string written = dir.ReadText(file);
    EXPECT_NE(written.find(" Q: reaches the file\r\n"), std::string::npos);
    EXPECT_EQ(written.find("too detailed"), std::string::npos);
    EXPECT_EQ(Saved("LOG_DETAIL"), "1");
    EXPECT_EQ(Saved("LOG_DATE"), "No");
    EXPECT_EQ(Saved("LOG_TIME"), "Yes");
    EXPECT_EQ(Saved("LOG_TOFILE"), "Yes");
    EXPECT_EQ(Saved("LOG_FILE"), file);

    // Unticked, the file is closed and the caption names none.
    form->Open();
    EXPECT_TRUE(form->Fields().toFile);
    form->Fields().toFile = false;
    form->Ok();
    EXPECT_EQ(session->LogCaption(), "DNS Log");
    EXPECT_FALSE(session->Log().LogFileOpen());
    EXPECT_EQ(Saved("LOG_TOFILE"), "No");
}

TEST_F(LogSettingsTest, AFileThatCannotBeOpenedAsksAndOnlyYesSwitchesFileLoggingOff) {
    Start("LOG_TOFILE=Yes\nLOG_FILE=" + dir.Path().string() + "/first.log\n");
    const std::string firstCaption = session->LogCaption();
    ASSERT_TRUE(session->Log().LogFileOpen());
    const std::string missing = dir.Path().string() + "/missing/Quenda.LOG";

    messages.Answer(MessageAnswer::No);
    form->Fields().path = missing;
    form->Ok();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Error with logfile");
    EXPECT_EQ(messages.shown[0].text,
              "Could not open or create specified logfile. Do you want to continue without "
              "logging to file?");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
    // No: still meant to log to the file, which reaches none for now.
    EXPECT_TRUE(session->GetOptions().LOG_TOFILE);
    EXPECT_FALSE(session->Log().LogFileOpen());
    EXPECT_TRUE(form->Fields().toFile);
    EXPECT_EQ(session->LogCaption(), firstCaption);
    EXPECT_EQ(Saved("LOG_TOFILE"), "Yes");
    EXPECT_EQ(Saved("LOG_FILE"), missing);

    messages.Answer(MessageAnswer::Yes);
    form->Ok();
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_FALSE(form->Fields().toFile);
    EXPECT_FALSE(session->GetOptions().LOG_TOFILE);
    EXPECT_EQ(session->LogCaption(), "DNS Log");
    EXPECT_EQ(Saved("LOG_TOFILE"), "No");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(LogSettingsTest, ADetailOutsideTheLevelsOpensWithNoneSelectedAndOkKeepsIt) {
    Start("LOG_DETAIL=5\n");
    EXPECT_EQ(form->Fields().level, 0);
    form->Ok();
    EXPECT_EQ(session->GetOptions().LOG_DETAIL, 5);
    EXPECT_EQ(Saved("LOG_DETAIL"), "5");
    session->Log().WriteLog("TCP connection request", 3);  // every level passes
    EXPECT_NE(session->LogBox().find("TCP connection request"), std::string::npos);
}

}  // namespace
}  // namespace quenda::test
