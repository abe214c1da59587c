// A text box that mirrors the log box line by line: each new line is appended and the lines
// the log dropped from its start are removed, so no line costs a copy of the whole box. Lines
// reach the text box in batches, at most every kLogTextBatchMs, so that a burst of lines is
// drawn once rather than once per line while requests are being relayed.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <deque>
#include <string>

namespace quenda {

inline constexpr int kLogTextBatchMs = 100;

class LogText final : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit LogText(QWidget* parent = nullptr);

    // The whole box ("\r\n" after each line), as when the box is first shown; shown at once.
    void SetBox(const std::string& box);
    // The log dropped `trimmed` characters from its start, then appended `line` (with "\r\n").
    void Append(size_t trimmed, const std::string& line);
    void Clear();
    // Moves the caret to the end, so that the newest lines are in view.
    void ShowNewest();
    // Keeps the caret at the end after every batch of new lines.
    void SetFollowNewest(bool follow) { followNewest_ = follow; }
    // Puts the lines that wait for the next batch into the text box now.
    void Flush();

  private:
    void RemoveFirstLines(int count);

    // Characters of each line in the box, "\n" included, as the log counts them: first the
    // lines in the text box, then the ones waiting.
    std::deque<size_t> lines_;
    int shownLines_ = 0;           // the first lines_ that are in the text box
    int dropShown_ = 0;            // lines to remove from the text box's start at the next batch
    std::deque<QString> waiting_;  // the lines after the shown ones, without their line ends
    bool followNewest_ = false;
    QTimer batch_;
};

}  // namespace quenda
