#include "ui/common/window_class.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <string>

namespace {

void applyWindowClass(QWidget& window, const std::string& value) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());  // creates the native window
    xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(value.size()), value.data());
    xcb_flush(x11->connection());
}

// The toolkit makes a new native window for some windows (menus) each time they show, with its
// own class: the name is set again on each new window and before each showing.
class WindowClassKeeper : public QObject {
public:
    WindowClassKeeper(QWidget& window, std::string value) : QObject(&window), window_(window), value_(std::move(value)) {
        setObjectName(QString::fromLatin1(kName));
        window.installEventFilter(this);
    }

    static constexpr const char* kName = "quillet-window-class-keeper";

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show) &&
            window_.internalWinId() != 0)
            applyWindowClass(window_, value_);
        return false;
    }

    const std::string& value() const { return value_; }
    void setValue(std::string value) { value_ = std::move(value); }

private:
    QWidget& window_;
    std::string value_;
};

}  // namespace

void setWindowInstanceName(QWidget& window, const char* instanceName) {
    // WM_CLASS: the instance name and the class name, each ending in a zero byte.
    std::string value(instanceName);
    value.push_back('\0');
    value += "Quillet";
    value.push_back('\0');
    auto* keeper = dynamic_cast<WindowClassKeeper*>(
        window.findChild<QObject*>(QString::fromLatin1(WindowClassKeeper::kName), Qt::FindDirectChildrenOnly));
    if (keeper == nullptr)
        keeper = new WindowClassKeeper(window, value);
    else
        keeper->setValue(value);
    applyWindowClass(window, value);
}
