#pragma once

#include <QDialog>

#include "persist/config/network_address.h"

class QLineEdit;

// "Host": asks for a computer and a port, for the automatic-send list and for sending records
// to a computer that is not in the menus.
class HostDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr unsigned kDefaultPort = 45689;

    explicit HostDlg(QWidget* owner, const QString& host = QString(),
                     unsigned port = kDefaultPort);

    // What OK accepted: the host as typed (UTF-8) and the port.
    NetworkAddress address() const { return address_; }

    void accept() override;

private:
    QLineEdit* host_;
    QLineEdit* port_;
    NetworkAddress address_;
};
