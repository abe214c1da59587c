// The tabbed dialog: pages with captions holding "&" access keys, the shown tab's number read
// and set, an event when the user picks another tab and one when the mouse moves over the tab
// strip. Only the shown page's controls are visible, and only they take the focus.
#pragma once

#include <QTabWidget>

namespace quenda {

class TabbedDialog final : public QTabWidget {
    Q_OBJECT

  public:
    explicit TabbedDialog(QWidget* parent = nullptr);

    int Tab() const { return currentIndex(); }
    // Shows page `tab` without raising TabSelected.
    void SetTab(int tab);
    void SetTabFont(const QFont& font);

  signals:
    // The user (mouse or access key) picked page `tab`.
    void TabSelected(int tab);
    void MouseMoved();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool settingTab_ = false;
};

}  // namespace quenda
