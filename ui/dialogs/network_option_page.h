#pragma once

#include <functional>
#include <vector>

#include "persist/config/network_address.h"
#include "persist/config/trusted_client.h"
#include "ui/dialogs/option_page.h"

class AppConfig;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
namespace cb {
class History;
}

// "Network": receiving (switch, port, trusted clients) and automatic sending (switch, hosts).
class NetworkOptionPage : public OptionPage {
    Q_OBJECT
public:
    // `updateReceiver` is called after the settings are written, so that receiving starts,
    // stops or moves to the new port at once.
    NetworkOptionPage(AppConfig& config, const cb::History& history,
                      std::function<void()> updateReceiver, QWidget* parent = nullptr);

    bool validate() override;
    void apply() override;

protected:
    void initialize() override;

private:
    bool readControls();
    void updateEnabledStates();
    void setClientRow(int row, const TrustedClient& client);
    void setHostRow(int row, const NetworkAddress& address);
    void addClient();
    void removeClient();
    void editClient();
    void addHost();
    void removeHost();
    void editHost();
    QWidget* dialogOwner();

    AppConfig& config_;
    const cb::History& history_;
    std::function<void()> updateReceiver_;

    // The copies the page edits; rows and entries correspond by index.
    bool receiveEnabled_ = false;
    bool autoSendEnabled_ = false;
    bool addressCheck_ = true;
    uint16_t port_ = 0;
    TrustedClientList clients_;
    std::vector<NetworkAddress> hosts_;

    QLineEdit* portEdit_;
    QTreeWidget* clientList_;
    QCheckBox* receiveBox_;
    QCheckBox* addressCheckBox_;
    QPushButton* addClient_;
    QPushButton* removeClient_;
    QPushButton* editClient_;
    QTreeWidget* hostList_;
    QCheckBox* autoSendBox_;
    QPushButton* addHost_;
    QPushButton* removeHost_;
    QPushButton* editHost_;
};
