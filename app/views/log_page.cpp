// The Log tab's page and its log box.
#include "app/views/log_page.h"

#include <QGroupBox>
#include <QVBoxLayout>

#include "app/views/log_text.h"

namespace quenda {

LogPage::LogPage(Session& session, QWidget* parent) : QWidget(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    frame_ = new QGroupBox;
    frame_->setObjectName(QStringLiteral("FrameLog"));
    auto* inside = new QVBoxLayout(frame_);
    text5_ = new LogText;
    text5_->setObjectName(QStringLiteral("Text5"));
    text5_->setAccessibleName(QStringLiteral("DNS Log"));
    inside->addWidget(text5_);
    layout->addWidget(frame_, 1);
    // The lines written before the window was made.
    text5_->SetBox(session_.LogBox());
    LogCaptionChanged(session_.LogCaption());
    session_.AddObserver(this);
}

LogPage::~LogPage() {
    session_.RemoveObserver(this);
}

void LogPage::ShowNewest() {
    text5_->ShowNewest();
}

void LogPage::LogLineAppended(size_t trimmed, const std::string& line) {
    text5_->Append(trimmed, line);
}

void LogPage::LogCleared() {
    text5_->Clear();
}

void LogPage::LogCaptionChanged(const std::string& caption) {
    frame_->setTitle(QString::fromStdString(caption));
}

}  // namespace quenda
