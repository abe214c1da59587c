// The "Quenda Update" dialog's widgets, mapped onto the update check's logic, and the modal run
// the About tab's "Update" button starts.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "app/shell/mainform.h"
#include "app/shell/session.h"
#include "app/shell/update_check.h"

namespace quenda {

class Button3D;
class Panel3D;

// Hands files to the desktop's default handler (xdg-open on a plain X desktop).
class DesktopInstallerOpener final : public InstallerOpener {
  public:
    bool OpenInstaller(const std::string& path) override;
};

class UpdateDialog final : public QDialog, public UpdateCheckWindow {
    Q_OBJECT

  public:
    // The dialog registers itself with the check, which must outlive it.
    explicit UpdateDialog(UpdateCheck& check, QWidget* parent = nullptr);
    ~UpdateDialog() override;

    // UpdateCheckWindow
    void ShowFace(const UpdateFace& face) override;
    void SetStatusLine(const std::string& text) override;
    void CloseDialog() override;

  public slots:
    // Esc and the window's close: the check decides.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    UpdateCheck& check_;
    QLabel* label1_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* label5_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    Panel3D* progress_ = nullptr;
    Button3D* close_ = nullptr;
    Button3D* download_ = nullptr;
    Button3D* help_ = nullptr;
    QLabel* hlp_ = nullptr;
    QString shownLink_;
    bool activated_ = false;
    bool sized_ = false;  // the dialog's height was set for the texts shown
    bool closing_ = false;
};

// Opens the update check over parent, modal, and returns when it is closed. The DNS service
// goes on meanwhile.
void RunUpdateCheck(Session& session, Mainform& form, QWidget* parent);

}  // namespace quenda
