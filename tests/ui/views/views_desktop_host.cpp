// The views on a real X display, for the tests that drive them from outside:
//   views_desktop_host history <ready-file>      the main history window with one record of
//                                                 text and HTML, at the top-left corner
//   views_desktop_host drop <out-prefix> <ready-file>
//                                                 a window at x 500 that accepts drops and writes
//                                                 what it received to <out-prefix>.text/.html
#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include "model/block_items.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/search_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_conversions.h"
#include "ui/views/app_icon_provider.h"
#include "ui/views/history_window.h"
#include "ui/views/view_context.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

class DropWindow final : public QWidget {
public:
    explicit DropWindow(QString prefix) : prefix_(std::move(prefix)) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        event->acceptProposedAction();
        const QMimeData* data = event->mimeData();
        writeFile(prefix_ + ".html", data->data("text/html"));
        writeFile(prefix_ + ".text", data->text().toUtf8());
        QTimer::singleShot(100, qApp, &QApplication::quit);
    }

private:
    QString prefix_;
};

void whenShown(QWidget& window, const QString& readyFile) {
    window.show();
    QTimer::singleShot(300, &window, [readyFile] { writeFile(readyFile, "ready"); });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == "drop") {
        DropWindow window(args[2]);
        window.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        window.setGeometry(500, 0, 300, 300);
        whenShown(window, args[3]);
        return app.exec();
    }
    if (args.size() >= 3 && args[1] == "history") {
        cb::History history;
        auto* main = new cb::RecordList(u"Main");
        cb::DataObject items;
        items.add(std::make_unique<cb::TextItem>(u"drag me"));
        items.add(std::make_unique<cb::HtmlItem>(cmn::mblock<char>(platform::htmlToHtmlFormat(
            "<html><body><!--StartFragment--><b>drag</b> me<!--EndFragment--></body></html>"))));
        cb::RecordPtr record = cb::Record::createForCapture(0);
        record->completeFromItems(items);
        main->add(record);
        history.insertList(main, 0);
        history.insertList(new cb::RecordList(u"Work"), 1);
        history.insertList(new SearchList(u"Search"), 2);
        history.setListeningList(main);
        AppConfig config;
        AppIconProvider icons;
        ViewActions actions;
        ViewContext context{history, config, icons, actions};
        MainHistoryWindow window(context);
        window.setWindowTitle("Quillet");
        window.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        window.setGeometry(0, 0, 400, 300);
        whenShown(window, args[2]);
        return app.exec();
    }
    return 2;
}
