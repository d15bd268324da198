// Another program to paste into: a window with a line edit holding "hello", the caret at its end.
// Prints "ready" on stdout once the line edit has the keyboard focus; ends on SIGTERM.

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLineEdit edit(QStringLiteral("hello"));
    edit.setAccessibleName(QStringLiteral("Target"));
    edit.setGeometry(200, 150, 400, 40);
    edit.show();
    edit.activateWindow();
    edit.end(false);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!edit.hasFocus() || !edit.isActiveWindow()) return;
        poll.stop();
        std::puts("ready");
        std::fflush(stdout);
    });
    poll.start(20);
    return app.exec();
}
