// The "Configure Log" dialog: the detail level, the date and time prefix and the log file,
// mapped onto the dialog's logic.
#pragma once

#include <QDialog>

#include "app/shell/log_settings.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace quenda {

class LogSettingsDialog final : public QDialog {
    Q_OBJECT

  public:
    // Opens with the session's log options; both must outlive the dialog.
    LogSettingsDialog(Session& session, MessageService& messages, QWidget* parent = nullptr);

    // Submits the controls (the OK button).
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Enabled, editable and white while "Write to file:" is ticked; greyed otherwise.
    void SetPathBoxState();
    void Watch(QWidget* part);

    LogSettingsForm form_;
    QButtonGroup* levels_ = nullptr;
    QWidget* levelGroup_ = nullptr;
    QWidget* dateTimeGroup_ = nullptr;
    QWidget* fileGroup_ = nullptr;
    QCheckBox* date_ = nullptr;
    QCheckBox* time_ = nullptr;
    QCheckBox* toFile_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLabel* tip_ = nullptr;
};

}  // namespace quenda
