// The "Correct" dialog: says why a typed name-server address cannot be taken and asks whether
// to correct it ("&Correct!") or to keep the stored address ("C&ancel").
#pragma once

#include <QDialog>
#include <functional>

class QLabel;

namespace quenda {

class Button3D;

class CorrectDialog final : public QDialog {
    Q_OBJECT

  public:
    // title becomes the caption and message the label; help runs on F1.
    CorrectDialog(const QString& message, const QString& title, std::function<void()> help,
                  QWidget* parent = nullptr);

    // 1 after "&Correct!", 0 after "C&ancel"; a dialog closed otherwise keeps what was
    // recorded last, 0 when nothing was.
    int Result() const { return result_; }

  private:
    void Answer(int result);

    int result_ = 0;
};

}  // namespace quenda
