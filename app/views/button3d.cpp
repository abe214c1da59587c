// The 3-D command button's mouse tracking.
#include "app/views/button3d.h"

namespace quenda {

Button3D::Button3D(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setAutoDefault(false);
}

void Button3D::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMoved();
    QPushButton::mouseMoveEvent(event);
}

}  // namespace quenda
