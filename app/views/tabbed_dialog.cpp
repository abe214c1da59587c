// The tabbed dialog's tab events.
#include "app/views/tabbed_dialog.h"

#include <QEvent>
#include <QTabBar>

namespace quenda {

TabbedDialog::TabbedDialog(QWidget* parent) : QTabWidget(parent) {
    tabBar()->setMouseTracking(true);
    tabBar()->installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, [this](int tab) {
        if (!settingTab_) emit TabSelected(tab);
    });
}

void TabbedDialog::SetTab(int tab) {
    settingTab_ = true;
    setCurrentIndex(tab);
    settingTab_ = false;
}

void TabbedDialog::SetTabFont(const QFont& font) {
    tabBar()->setFont(font);
}

bool TabbedDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabBar() && event->type() == QEvent::MouseMove) emit MouseMoved();
    return QTabWidget::eventFilter(watched, event);
}

}  // namespace quenda
