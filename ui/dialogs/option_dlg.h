#pragma once

#include <QDialog>
#include <functional>
#include <vector>

class AppConfig;
class OptionPage;
class QTabWidget;
class RunningPrograms;
namespace cb {
class History;
class ItemTypeRegistry;
}  // namespace cb

// "Options": the pages "General", "Network", "Formats" and "Advanced". Each page that has been
// shown is checked on OK; only when all pass are they written, so a refused OK changes nothing.
// Cancel writes nothing.
class OptionDlg : public QDialog {
    Q_OBJECT
public:
    struct Services {
        AppConfig& config;
        const cb::History& history;
        const cb::ItemTypeRegistry& itemTypes;
        RunningPrograms& runningPrograms;
        // Starts, stops or restarts receiving after the network settings are written.
        std::function<void()> updateReceiver;
    };

    OptionDlg(Services services, QWidget* owner);

    void accept() override;

    QTabWidget* pages() const { return tabs_; }

signals:
    // The settings were written: shortcuts are to be grabbed again, windows to follow.
    void optionsApplied();

private:
    QTabWidget* tabs_;
    std::vector<OptionPage*> pages_;
};
