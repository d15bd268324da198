#pragma once

// The identities of the program's commands: every menu item, toolbar button and accelerator
// carries one, and the main window dispatches on it. The numbers are kept stable so that every
// window that offers a command names the same one.

#include <QString>

enum class CommandId : int {
    Start = 32772,
    Pause = 32773,
    MultiplePaste = 32776,
    PasteAll = 32778,
    MultipleDelete = 32781,
    FloatingWindow = 32784,
    Options = 32785,
    MainWindow = 32789,
    NewList = 33801,
    RemoveList = 33802,
    SaveList = 33803,
    LoadList = 33804,
    ListenToClipboard = 33806,
    ExportList = 33808,
    Delete = 57632,
    DeleteAll = 57633,
    Copy = 57634,
    Paste = 57637,
    About = 57664,
    Exit = 57665,
    HelpIndex = 57666,
    Toolbar = 59392,
    StatusBar = 59393,
};

// The id's help: the status-bar text shown while the command's menu item or toolbar button is
// under the pointer, and the toolbar button's tooltip. A command without a tooltip has an empty
// one; an unknown id has neither.
struct CommandHelp {
    QString statusText;
    QString tooltip;
};
CommandHelp commandHelp(CommandId id);

// The status bar's text while no command is under the pointer.
QString readyText();
