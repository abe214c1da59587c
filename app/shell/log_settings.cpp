// The "Configure Log" dialog's opening, tip line and OK.
#include "app/shell/log_settings.h"

#include "app/config/settings_file.h"

namespace quenda {

void LogSettingsForm::Open() {
    LogOptions options = session_.GetLogOptions();
    if (options.file.empty()) {
        options.file = session_.Paths().dataDirectory + kLogFileName;
        session_.SetLogOptions(options);
    }
    fields_.level = options.detail == 0 ? 2 : options.detail;
    if (fields_.level < 1 || fields_.level > 3) fields_.level = 0;
    fields_.date = options.date;
    fields_.time = options.time;
    fields_.toFile = options.toFile;
    fields_.path = options.file;
    tip_.clear();
}

bool LogSettingsForm::PointAt(LogSettingsPart part) {
    const char* tip = "";
    switch (part) {
        case LogSettingsPart::kLevels:
            tip = "Select datail level for the log window";
            break;
        case LogSettingsPart::kDateTime:
            tip = "Include Time/Date in the log";
            break;
        case LogSettingsPart::kFile:
            tip = "Write log also into file";
            break;
    }
    if (tip_ == tip) return false;
    tip_ = tip;
    return true;
}

void LogSettingsForm::Ok() {
    LogOptions options = session_.GetLogOptions();
    options.toFile = fields_.toFile;
    if (fields_.toFile) {
        options.file = fields_.path;
        session_.SetLogOptions(options);
        if (!session_.OpenLogFile()) {
            const MessageAnswer answer =
                messages_.ShowMessage(MessageIcon::Information, MessageButtons::YesNo,
                                      kLogFileErrorTitle, kLogFileErrorText, MessageAnswer::Yes);
            if (answer == MessageAnswer::Yes) {
                fields_.toFile = false;
                options.toFile = false;
                // The caption would otherwise still name a file opened before.
                session_.SetLogOptions(options);
                session_.OpenLogFile();
            }
        }
    } else {
        session_.SetLogOptions(options);
        session_.OpenLogFile();
    }
    if (fields_.level != 0) options.detail = fields_.level;
    options.date = fields_.date;
    options.time = fields_.time;
    options.file = fields_.path;
    session_.SetLogOptions(options);
    session_.SaveOptions();
}

}  // namespace quenda
