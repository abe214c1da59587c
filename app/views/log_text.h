// A text box that mirrors the log box line by line: each new line is appended and the lines
// the log dropped from its start are removed, so no line costs a copy of the whole box.
#pragma once

#include <QPlainTextEdit>
#include <deque>
#include <string>

namespace quenda {

class LogText final : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit LogText(QWidget* parent = nullptr);

    // The whole box ("\r\n" after each line), as when the box is first shown.
    void SetBox(const std::string& box);
    // The log dropped `trimmed` characters from its start, then appended `line` (with "\r\n").
    void Append(size_t trimmed, const std::string& line);
    void Clear();
    // Moves the caret to the end, so that the newest lines are in view.
    void ShowNewest();

  private:
    void RemoveFirstLine();

    std::deque<size_t> lines_;  // characters of each line shown, "\r\n" included
};

}  // namespace quenda
