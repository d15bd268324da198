// Saves what a window of the X display shows as a PNG: grab_window WINDOW_ID OUTPUT.png
// (WINDOW_ID as xdotool prints it; 0 for the whole screen). For the README's screenshots.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: grab_window WINDOW_ID OUTPUT.png\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const WId window = static_cast<WId>(std::strtoull(argv[1], nullptr, 0));
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fputs("grab_window: the window could not be saved\n", stderr);
        return 1;
    }
    return 0;
}
