// The host entry editor's dialog (UpdateEntry): the domain box and the type box, the status,
// "&Start", "&Close" and "&Help", the tip line and the one-second timer, mapped onto the
// session's host editor.
#pragma once

#include <QDialog>
#include <functional>

#include "app/shell/host_editor.h"
#include "app/shell/mainform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace quenda {

class Button3D;

class HostEditorDialog final : public QDialog, public HostEditorWindow {
    Q_OBJECT

  public:
    // editor and form outlive the dialog; cacheChanged runs when a reply changed the cache.
    HostEditorDialog(HostEditor& editor, Mainform& form, const HostEditorPreset& preset,
                     std::function<void()> cacheChanged, QWidget* parent = nullptr);
    ~HostEditorDialog() override;

    // Hands the dialog to the editor; in update mode the query goes out now. Call once shown.
    void Begin();

    // HostEditorWindow
    void SetStatus(const std::string& text) override;
    void SetStartEnabled(bool enabled) override;
    void SetTip(const std::string& text) override;
    void CacheEntryChanged() override;

    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Watch(QWidget* widget, HostEditorPart part);
    // Ends the editor's part once, however the dialog goes.
    void Finish();

    HostEditor& editor_;
    Mainform& form_;
    HostEditorPreset preset_;
    std::function<void()> cacheChanged_;
    QLineEdit* text1_ = nullptr;
    QComboBox* theType_ = nullptr;
    QLabel* addStatus_ = nullptr;
    QLabel* label1_ = nullptr;
    Button3D* start_ = nullptr;
    QTimer* timer1_ = nullptr;
    bool finished_ = false;
    int savedHelpContext_ = -1;  // the window's help context before the dialog took it
};

}  // namespace quenda
