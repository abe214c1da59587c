// The separate log window "Quenda Log": a copy of the log box that follows it line by line,
// a close button and a tip line, laid out anew as the window is resized.
#pragma once

#include <QWidget>

#include "app/shell/log_window.h"
#include "app/shell/session.h"

class QFrame;
class QLabel;
class QPushButton;

namespace quenda {

class LogText;

class LogWindowView final : public QWidget, public SessionObserver {
    Q_OBJECT

  public:
    // Registers with the session; the session and the form must outlive the window. The
    // window deletes itself when closed.
    LogWindowView(Session& session, LogWindowForm& form);
    ~LogWindowView() override;

    // Shows the window where the form places it, without taking the focus, with the whole
    // log box in it.
    void Open();

    // SessionObserver
    void LogLineAppended(size_t trimmed, const std::string& line) override;
    void LogCleared() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LayOut();
    void PointAt(LogWindowPart part);

    Session& session_;
    LogWindowForm& form_;
    LogText* text1_ = nullptr;
    QPushButton* close_ = nullptr;
    QFrame* upperLine_ = nullptr;
    QFrame* lowerLine_ = nullptr;
    QLabel* tip_ = nullptr;
};

}  // namespace quenda
