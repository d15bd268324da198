#include "ui/common/window_class.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <cstring>
#include <string>

void setWindowInstanceName(QWidget& window, const char* instanceName) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());  // creates the native window
    // WM_CLASS: the instance name and the class name, each ending in a zero byte.
    std::string value(instanceName);
    value.push_back('\0');
    value += "Quillet";
    value.push_back('\0');
    xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<uint32_t>(value.size()), value.data());
    xcb_flush(x11->connection());
}
