#pragma once

#include <QDialog>
#include <memory>

#include "persist/config/network_address.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace net {
class Sender;
}

// The progress of one transfer started by hand: "Sending to <host : port>", a progress bar, and
// one button that reads "Cancel" until the transfer ends and "Close" afterwards. The transfer
// runs on its sender's own thread and reports here through posted events; closing the dialog
// abandons it. The sender must be prepared.
class SendObjectDlg final : public QDialog {
    Q_OBJECT
public:
    SendObjectDlg(std::shared_ptr<net::Sender> sender, QWidget* parent = nullptr);
    ~SendObjectDlg() override;

    // Starts the transfer (the first time the dialog is shown).
    void start();
    QString message() const;
    QString buttonText() const;
    int progress() const;
    int progressMaximum() const;
    const std::shared_ptr<net::Sender>& sender() const { return sender_; }

    // A state the sender posted (what a worker thread's post becomes on this thread).
    void handleState(int state, qint64 param);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    class Target;

    std::shared_ptr<net::Sender> sender_;
    std::shared_ptr<Target> target_;
    QString addressText_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* button_;
    bool started_ = false;
};
