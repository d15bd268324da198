#pragma once

#include <QDialog>

#include "persist/config/trusted_client.h"

class QComboBox;
class QLineEdit;
namespace cb {
class History;
}

// "Trusted Client": which computer and user may send records here, and the list they land in.
// Edits the given client in place on OK.
class TrustedClientPropertyDlg : public QDialog {
    Q_OBJECT
public:
    TrustedClientPropertyDlg(TrustedClient& client, const cb::History& history, QWidget* owner);

    void accept() override;

private:
    TrustedClient& client_;
    QLineEdit* host_;
    QLineEdit* user_;
    QComboBox* list_;
};
