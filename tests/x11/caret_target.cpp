// A Qt window with a focused line edit, for the caret tests: it shows "hello caret" with the
// caret at the end, and once it has the focus prints the line edit's rectangle on the screen
// ("x y width height") and a newline on stdout. Ends on SIGTERM.

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(QStringLiteral("hello caret"));
    layout->addWidget(edit);
    window.setGeometry(200, 150, 400, 80);
    window.show();
    window.activateWindow();
    edit->setFocus();
    edit->end(false);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!edit->hasFocus() || !window.isActiveWindow()) return;
        poll.stop();
        const QPoint at = edit->mapToGlobal(QPoint(0, 0));
        std::printf("%d %d %d %d\n", at.x(), at.y(), edit->width(), edit->height());
        std::fflush(stdout);
    });
    poll.start(20);
    return app.exec();
}
