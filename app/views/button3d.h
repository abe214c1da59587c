// The 3-D command button: a caption with an "&" access key, a picture beside it, and click
// and mouse-move events. A push button, so assistive technology sees a button named by its
// caption without the "&".
#pragma once

#include <QPushButton>

namespace quenda {

class Button3D final : public QPushButton {
    Q_OBJECT

  public:
    explicit Button3D(QWidget* parent = nullptr);

  signals:
    void MouseMoved();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace quenda
