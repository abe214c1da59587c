// The name-server tester's dialog: the server list, the domain box, the result frame with
// times, pictures and progress panels, the four buttons and the tip line, drawn from the
// tester's logic after every event.
#pragma once

#include <QDialog>
#include <QTimer>

#include "app/shell/tester_form.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace quenda {

class Button3D;
class Panel3D;

class TesterDialog final : public QDialog {
    Q_OBJECT

  public:
    // The form must outlive the dialog.
    explicit TesterDialog(TesterForm& form, QWidget* parent = nullptr);

    // Opens the dialog modally and returns when it is closed.
    void Run();
    // Draws what the form shows now; called after every event the form handles.
    void Refresh();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void TipFor(QWidget* widget);

    TesterForm& form_;
    QTimer timer_;
    QComboBox* combo1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    Panel3D* lTime_ = nullptr;
    Panel3D* pTime_ = nullptr;
    QLabel* testImage_ = nullptr;
    QLabel* pTestImage_ = nullptr;
    Panel3D* pLookup_ = nullptr;
    Panel3D* pPing_ = nullptr;
    QLabel* status_ = nullptr;
    Button3D* start_ = nullptr;
    Button3D* stop_ = nullptr;
    QLabel* testTip_ = nullptr;
    bool unloaded_ = false;
};

}  // namespace quenda
