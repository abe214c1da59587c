// The windowed front end: a QApplication, Qt message boxes, the browser for links and help,
// and the main window.
#pragma once

#include <memory>

#include "app/shell/program.h"

namespace quenda {

// The front end RunProgram takes to run with windows.
std::unique_ptr<FrontEnd> MakeWidgetsFrontEnd();

// A display to open windows on: the Wayland socket WAYLAND_DISPLAY names exists, or the X
// server DISPLAY names takes a connection.
bool DisplayAvailable();

}  // namespace quenda
