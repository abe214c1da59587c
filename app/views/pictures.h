// The program's pictures: the desktop theme's icon of the freedesktop name, else our own.
#pragma once

#include <QIcon>
#include <QString>

namespace quenda {

// A button picture by the name the windows give it ("IClear", "IRefresh", "ITest", "ILogConf",
// "ILogwin", "IAdd", "IEdit", "IMuell", "IDelete", "IHelp", "IHide", "IExit") or the name-server
// table's answered images ("okay", "Sleeping"); an empty icon for any other name.
QIcon Picture(const QString& name);

// Quenda's own logo, also the window's and the tray's icon.
QIcon Logo();

}  // namespace quenda
