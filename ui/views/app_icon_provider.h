#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>

// The icon of the program a record came from, found the way the desktop finds it: the program's
// application entry (a .desktop file whose Exec names the executable) gives an icon name, which
// the icon theme resolves. The executable itself is never opened. A program without an entry
// gets the theme icon of its own name, else a generic program icon.
class AppIconProvider {
public:
    // Searches the "applications" folder of each data folder (by default the XDG data folders).
    explicit AppIconProvider(QStringList dataFolders = defaultDataFolders());

    QIcon iconFor(const QString& executablePath);
    // The icon name the entries give for the executable's file name; empty when none does.
    QString iconNameFor(const QString& executablePath);

    static QStringList defaultDataFolders();

private:
    void scanEntries();

    QStringList dataFolders_;
    bool scanned_ = false;
    QHash<QString, QString> iconByProgram_;  // executable file name -> icon name
    QHash<QString, QIcon> cache_;            // executable path -> icon
    QIcon generic_;
};
