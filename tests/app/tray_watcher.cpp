// A stand-in for the desktop's tray: the StatusNotifierWatcher of a session bus, with a host
// registered, so that programs on that bus show their tray icons through it. It prints one line
// per event on standard output ("ready", "registered SERVICE", "unregistered SERVICE") for the
// test or benchmark that started it.

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QStringList>

#include <cstdio>

namespace {

void report(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

}  // namespace

class Watcher : public QObject {
    Q_OBJECT
public:
    QStringList items;
    QDBusServiceWatcher gone{QString(), QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForUnregistration};
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit WatcherAdaptor(Watcher* watcher) : QDBusAbstractAdaptor(watcher), watcher_(watcher) {
        connect(&watcher_->gone, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& service) {
            watcher_->items.removeAll(service);
            watcher_->gone.removeWatchedService(service);
            report(QStringLiteral("unregistered ") + service);
            emit StatusNotifierItemUnregistered(service);
        });
    }

    QStringList registeredItems() const { return watcher_->items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
        // Items give their bus name, or only their object path on the sender's connection.
        const QString service = serviceOrPath.startsWith(QLatin1Char('/')) ? message.service() : serviceOrPath;
        if (!watcher_->items.contains(service)) {
            watcher_->items << service;
            watcher_->gone.addWatchedService(service);
        }
        report(QStringLiteral("registered ") + service);
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    Watcher* watcher_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher;
    new WatcherAdaptor(&watcher);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fputs("tray_watcher: cannot take org.kde.StatusNotifierWatcher on the session bus\n", stderr);
        return 1;
    }
    report(QStringLiteral("ready"));
    return app.exec();
}

#include "tray_watcher.moc"
