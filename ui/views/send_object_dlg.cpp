#include "ui/views/send_object_dlg.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <mutex>

#include "net/notify.h"
#include "net/sender.h"

// Receives the sender's posts on its thread and queues them to the dialog, as long as the
// dialog lives; it may outlive the dialog (the sender holds it during a post).
class SendObjectDlg::Target final : public net::MessageTarget {
public:
    explicit Target(SendObjectDlg* dialog) : dialog_(dialog) {}

    void post(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard lock(mutex_);
        if (dialog_ == nullptr || message != net::kMsgNetNotify) return;
        SendObjectDlg* dialog = dialog_;
        const int state = static_cast<int>(wParam);
        const qint64 param = lParam;
        // Queued to the dialog's thread; dropped with the dialog if it goes first.
        QMetaObject::invokeMethod(
            dialog, [dialog, state, param] { dialog->handleState(state, param); },
            Qt::QueuedConnection);
    }
    void detach() {
        std::lock_guard lock(mutex_);
        dialog_ = nullptr;
    }

private:
    std::mutex mutex_;
    SendObjectDlg* dialog_;
};

SendObjectDlg::SendObjectDlg(std::shared_ptr<net::Sender> sender, QWidget* parent)
    : QDialog(parent),
      sender_(std::move(sender)),
      target_(std::make_shared<Target>(this)),
      addressText_(QString::fromStdString(sender_->address().displayText())),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      button_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(tr("Send Object"));
    setAccessibleName(tr("Send Object"));
    text_->setText(tr("Sending to ") + addressText_);
    text_->setWordWrap(true);
    text_->setMinimumWidth(260);
    bar_->setAccessibleName(tr("Progress"));
    bar_->setRange(0, static_cast<int>(std::min<size_t>(sender_->payloadSize(), INT32_MAX)));
    bar_->setValue(0);
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addWidget(button_, 0, Qt::AlignHCenter);
    connect(button_, &QPushButton::clicked, this, &SendObjectDlg::reject);
}

SendObjectDlg::~SendObjectDlg() {
    target_->detach();
    sender_->setNotifyTarget(nullptr);
    sender_->cancel();
}

void SendObjectDlg::start() {
    if (started_) return;
    started_ = true;
    sender_->setNotifyTarget(target_);
    sender_->start();
}

void SendObjectDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    start();
}

void SendObjectDlg::reject() {
    // Nothing more is posted here, and the transfer stops at its next step.
    target_->detach();
    sender_->setNotifyTarget(nullptr);
    sender_->cancel();
    QDialog::reject();
}

void SendObjectDlg::handleState(int state, qint64 param) {
    const QString sending = tr("Sending to ") + addressText_;
    switch (state) {
    case net::kSendProgress:
        bar_->setValue(static_cast<int>(std::clamp<qint64>(param, 0, bar_->maximum())));
        break;
    case net::kSendFailed:
        text_->setText(sending + "\n\n" + tr("Failed."));
        button_->setText(tr("Close"));
        break;
    case net::kSendRejected:
        text_->setText(sending + "\n\n" + tr("Rejected."));
        button_->setText(tr("Close"));
        break;
    case net::kSendFinished:
        text_->setText(sending + "\n\n" + tr("Finished."));
        button_->setText(tr("Close"));
        bar_->setValue(bar_->maximum());
        break;
    default:
        break;
    }
}

QString SendObjectDlg::message() const { return text_->text(); }
QString SendObjectDlg::buttonText() const { return button_->text(); }
int SendObjectDlg::progress() const { return bar_->value(); }
int SendObjectDlg::progressMaximum() const { return bar_->maximum(); }
