#pragma once

// Every top-level window of the program carries the window class "Quillet" and an instance name
// of its own (quillet-main, quillet-popup, quillet-floating, quillet-menu, quillet-dialog), so
// that window-manager rules can pick out one kind of window.

class QWidget;

// Sets the class and instance name of `window`'s native window, creating it when needed (before
// it is shown, as window managers read the name when the window is mapped). Does nothing on
// desktops without X11 window classes.
void setWindowInstanceName(QWidget& window, const char* instanceName);
