// Inside the shell layer: the images behind picture handles.
#pragma once

#include <QImage>

#include "platform/shell/shell_api.h"

namespace quenda {

// The image a live picture's handle stands for; false (image untouched) for 0 or a handle
// whose picture is gone.
bool PictureImage(HICON handle, QImage* image);

}  // namespace quenda
