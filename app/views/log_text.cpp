// The log box's text box: lines appended and dropped a batch at a time.
#include "app/views/log_text.h"

#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <string_view>

namespace quenda {
namespace {

// One line of the box as the text box shows it: without its line end.
QString Shown(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
}

}  // namespace

LogText::LogText(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The caret shows where the newest line is, also in a read-only box.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    batch_.setSingleShot(true);
    batch_.setInterval(kLogTextBatchMs);
    connect(&batch_, &QTimer::timeout, this, &LogText::Flush);
}

void LogText::SetBox(const std::string& box) {
    Clear();
    Append(0, box);
    Flush();
}

void LogText::Append(size_t trimmed, const std::string& line) {
    // The log drops its start up to and including a line feed each time, so the trim is a
    // count of whole lines as split at line feeds.
    while (trimmed > 0 && !lines_.empty() && lines_.front() <= trimmed) {
        trimmed -= lines_.front();
        lines_.pop_front();
        if (shownLines_ > 0) {
            --shownLines_;
            ++dropShown_;
        } else {
            waiting_.pop_front();
        }
    }
    if (trimmed > 0) Clear();  // out of step: start again from what comes now
    std::string_view rest = line;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        lines_.push_back(length);
        waiting_.push_back(Shown(rest.substr(0, length)));
        rest.remove_prefix(length);
    }
    if (!batch_.isActive()) batch_.start();
}

void LogText::Flush() {
    batch_.stop();
    if (dropShown_ > 0) RemoveFirstLines(dropShown_);
    dropShown_ = 0;
    if (!waiting_.empty()) {
        // One append for the batch: it starts a new line itself, the rest are joined here.
        QString text;
        for (const QString& waiting : waiting_) text.append(waiting).append(QLatin1Char('\n'));
        text.chop(1);
        appendPlainText(text);
        shownLines_ += static_cast<int>(waiting_.size());
        waiting_.clear();
    }
    if (followNewest_) moveCursor(QTextCursor::End);
}

void LogText::Clear() {
    lines_.clear();
    waiting_.clear();
    shownLines_ = 0;
    dropShown_ = 0;
    batch_.stop();
    clear();
}

void LogText::ShowNewest() {
    Flush();
    moveCursor(QTextCursor::End);
}

void LogText::RemoveFirstLines(int count) {
    if (count >= document()->blockCount()) {
        clear();
        return;
    }
    QTextCursor cursor(document()->firstBlock());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, count);
    cursor.removeSelectedText();
}

}  // namespace quenda
