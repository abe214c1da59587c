// The windowed front end: a QApplication, Qt message boxes, the browser for links and help,
// and the main window.
#pragma once

#include <memory>

#include "app/shell/program.h"

namespace quenda {

// The front end RunProgram takes to run with windows.
std::unique_ptr<FrontEnd> MakeWidgetsFrontEnd();

// A display to open windows on: DISPLAY or WAYLAND_DISPLAY is set and not empty.
bool DisplayAvailable();

}  // namespace quenda
