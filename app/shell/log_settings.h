// The "Configure Log" dialog's logic without widgets: what it shows on opening, its tip line,
// and what OK changes (the log options, the log file, the settings file).
#pragma once

#include <cstdint>
#include <string>

#include "app/shell/session.h"
#include "platform/ui/message_service.h"

namespace quenda {

// The question asked when OK could not open the log file.
inline constexpr const char* kLogFileErrorTitle = "Error with logfile";
inline constexpr const char* kLogFileErrorText =
    "Could not open or create specified logfile. Do you want to continue without logging to "
    "file?";

// The parts of the dialog that have a tip.
enum class LogSettingsPart { kLevels, kDateTime, kFile };

// What the dialog's controls hold.
struct LogSettingsFields {
    int16_t level = 0;    // the option selected: 1 Low, 2 Medium, 3 High; 0 none
    bool date = false;    // "Include Date"
    bool time = false;    // "Include Time"
    bool toFile = false;  // "Write to file:"
    std::string path;     // the path box
};

class LogSettingsForm {
  public:
    LogSettingsForm(Session& session, MessageService& messages)
        : session_(session), messages_(messages) {}

    // Fills the fields from the log options: the level option of LOG_DETAIL (Medium for 0,
    // none for a value outside 0 to 3), the boxes, and LOG_FILE, which becomes Quenda.LOG in
    // the data directory first when it is empty. The tip line is emptied.
    void Open();

    LogSettingsFields& Fields() { return fields_; }
    // The path box can be edited (and is white) only while "Write to file:" is ticked.
    bool PathEditable() const { return fields_.toFile; }

    // The pointer is over a part: true when the tip line's text changes (only then is it
    // rewritten).
    bool PointAt(LogSettingsPart part);
    const std::string& Tip() const { return tip_; }

    // Sets the log options from the fields and opens or closes the log file. When the file
    // cannot be opened the user is asked whether to go on without it: Yes unticks
    // "Write to file:" (in the fields too) and switches file logging off, No leaves it on
    // with no file open. No level selected keeps LOG_DETAIL. Then the options are saved.
    void Ok();

  private:
    Session& session_;
    MessageService& messages_;
    LogSettingsFields fields_;
    std::string tip_;
};

}  // namespace quenda
