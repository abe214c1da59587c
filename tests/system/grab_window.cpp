// grab_window WINDOW FILE: saves the X window WINDOW (decimal id) as a PNG picture in FILE.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: grab_window WINDOW FILE\n", stderr);
        return 2;
    }
    bool ok = false;
    const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&ok);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || screen == nullptr) return 1;
    return screen->grabWindow(window).save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
