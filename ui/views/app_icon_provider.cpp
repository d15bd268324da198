#include "ui/views/app_icon_provider.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>

namespace {

// Entries are small text files; a huge or odd file is not read further than this.
constexpr qint64 kMaxEntryBytes = 64 * 1024;

QString programName(const QString& exec) {
    // The first word of Exec, without quotes and without its folder.
    QString first = exec.trimmed();
    if (first.startsWith(u'"')) {
        const qsizetype end = first.indexOf(u'"', 1);
        first = first.mid(1, end < 0 ? -1 : end - 1);
    } else {
        const qsizetype end = first.indexOf(u' ');
        if (end >= 0) first.truncate(end);
    }
    if (first == u"env") return {};
    return QFileInfo(first).fileName();
}

}  // namespace

AppIconProvider::AppIconProvider(QStringList dataFolders) : dataFolders_(std::move(dataFolders)) {}

QStringList AppIconProvider::defaultDataFolders() {
    QStringList folders;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + "/.local/share");
    folders << home;
    const QString dirs = qEnvironmentVariable("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    for (const QString& d : dirs.split(u':', Qt::SkipEmptyParts)) folders << d;
    return folders;
}

void AppIconProvider::scanEntries() {
    scanned_ = true;
    for (const QString& folder : dataFolders_) {
        QDir dir(folder + "/applications");
        const QStringList files = dir.entryList({"*.desktop"}, QDir::Files | QDir::Readable);
        for (const QString& name : files) {
            QFile file(dir.filePath(name));
            if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly)) continue;
            QString exec, icon;
            bool inEntry = false;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
                if (line.startsWith(u'[')) {
                    if (inEntry) break;
                    inEntry = line == u"[Desktop Entry]";
                } else if (inEntry && line.startsWith(u"Exec=")) {
                    exec = line.mid(5);
                } else if (inEntry && line.startsWith(u"Icon=")) {
                    icon = line.mid(5).trimmed();
                }
            }
            const QString program = programName(exec);
            // Earlier folders win, as they do for the desktop.
            if (!program.isEmpty() && !icon.isEmpty() && !iconByProgram_.contains(program))
                iconByProgram_.insert(program, icon);
        }
    }
}

QString AppIconProvider::iconNameFor(const QString& executablePath) {
    if (!scanned_) scanEntries();
    return iconByProgram_.value(QFileInfo(executablePath).fileName());
}

QIcon AppIconProvider::iconFor(const QString& executablePath) {
    const auto cached = cache_.constFind(executablePath);
    if (cached != cache_.constEnd()) return *cached;

    QIcon icon;
    if (!executablePath.isEmpty()) {
        const QString name = iconNameFor(executablePath);
        if (!name.isEmpty()) {
            // An entry may name an icon file by its absolute path.
            icon = QDir::isAbsolutePath(name) ? QIcon(name) : QIcon::fromTheme(name);
        }
        if (icon.isNull()) icon = QIcon::fromTheme(QFileInfo(executablePath).fileName());
    }
    if (icon.isNull()) {
        if (generic_.isNull()) {
            generic_ = QIcon::fromTheme("application-x-executable");
            if (generic_.isNull() && qApp) generic_ = qApp->style()->standardIcon(QStyle::SP_FileIcon);
        }
        icon = generic_;
    }
    cache_.insert(executablePath, icon);
    return icon;
}
