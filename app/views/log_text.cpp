// The log box's text box: lines appended and dropped one at a time.
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
}

void LogText::SetBox(const std::string& box) {
    Clear();
    Append(0, box);
}

void LogText::Append(size_t trimmed, const std::string& line) {
    // The log drops its start up to and including a line feed each time, so the trim is a
    // count of whole lines as split at line feeds.
    while (trimmed > 0 && !lines_.empty() && lines_.front() <= trimmed) {
        trimmed -= lines_.front();
        lines_.pop_front();
        RemoveFirstLine();
    }
    if (trimmed > 0) Clear();  // out of step: start again from what comes now
    std::string_view rest = line;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        lines_.push_back(length);
        appendPlainText(Shown(rest.substr(0, length)));
        rest.remove_prefix(length);
    }
}

void LogText::Clear() {
    lines_.clear();
    clear();
}

void LogText::ShowNewest() {
    moveCursor(QTextCursor::End);
}

void LogText::RemoveFirstLine() {
    if (document()->blockCount() <= 1) {
        clear();
        return;
    }
    QTextCursor cursor(document()->firstBlock());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

}  // namespace quenda
