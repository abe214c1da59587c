// The Log tab's page: the frame "DNS Log" with the log box Text5, kept in step with the
// session's log.
#pragma once

#include <QWidget>

#include "app/shell/session.h"

class QGroupBox;

namespace quenda {

class LogText;

class LogPage final : public QWidget, public SessionObserver {
    Q_OBJECT

  public:
    // Registers with the session, which must outlive the page.
    explicit LogPage(Session& session, QWidget* parent = nullptr);
    ~LogPage() override;

    // The tab was selected: the newest lines come into view.
    void ShowNewest();

    // SessionObserver
    void LogLineAppended(size_t trimmed, const std::string& line) override;
    void LogCleared() override;
    void LogCaptionChanged(const std::string& caption) override;

  private:
    Session& session_;
    QGroupBox* frame_ = nullptr;
    LogText* text5_ = nullptr;
};

}  // namespace quenda
