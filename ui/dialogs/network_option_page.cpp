#include "ui/dialogs/network_option_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "persist/config/app_config.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/host_dlg.h"
#include "ui/dialogs/trusted_client_property_dlg.h"

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text,
                        const QString& accessibleName) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(accessibleName);
    return button;
}

QTreeWidget* makeList(QWidget* parent, const char* name, const QString& accessibleName,
                      const QStringList& columns) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setAccessibleName(accessibleName);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setHeaderLabels(columns);
    for (int c = 0; c < columns.size(); ++c) list->setColumnWidth(c, 80);
    return list;
}

int selectedRow(QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

}  // namespace

NetworkOptionPage::NetworkOptionPage(AppConfig& config, const cb::History& history,
                                     std::function<void()> updateReceiver, QWidget* parent)
    : OptionPage(parent),
      config_(config),
      history_(history),
      updateReceiver_(std::move(updateReceiver)) {
    auto* portLabel = new QLabel(QStringLiteral("Receiver (server) port:"), this);
    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName(QStringLiteral("port"));
    portEdit_->setAccessibleName(QStringLiteral("Receiver (server) port"));
    portEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), portEdit_));
    portLabel->setBuddy(portEdit_);

    auto* clientsGroup = new QGroupBox(QStringLiteral("Trusted clients"), this);
    clientList_ = makeList(clientsGroup, "trustedClients", QStringLiteral("Trusted clients"),
                           {QStringLiteral("Host"), QStringLiteral("User"), QStringLiteral("List")});
    receiveBox_ = new QCheckBox(QStringLiteral("Enable receive records from trusted clients"),
                                clientsGroup);
    receiveBox_->setObjectName(QStringLiteral("receiveEnabled"));
    addressCheckBox_ = new QCheckBox(
        QStringLiteral("Accept trusted clients only from their own address"), clientsGroup);
    addressCheckBox_->setObjectName(QStringLiteral("addressCheck"));
    addClient_ = makeButton(clientsGroup, "addClient", QStringLiteral("Add"),
                            QStringLiteral("Add trusted client"));
    removeClient_ = makeButton(clientsGroup, "removeClient", QStringLiteral("Remove"),
                               QStringLiteral("Remove trusted client"));
    editClient_ = makeButton(clientsGroup, "editClient", QStringLiteral("Edit"),
                             QStringLiteral("Edit trusted client"));
    auto* clientsLayout = new QGridLayout(clientsGroup);
    clientsLayout->addWidget(clientList_, 0, 0, 4, 1);
    clientsLayout->addWidget(addClient_, 0, 1);
    clientsLayout->addWidget(removeClient_, 1, 1);
    clientsLayout->addWidget(editClient_, 2, 1);
    clientsLayout->addWidget(receiveBox_, 4, 0, 1, 2);
    clientsLayout->addWidget(addressCheckBox_, 5, 0, 1, 2);

    auto* hostsGroup =
        new QGroupBox(QStringLiteral("Auto send records to the following hosts"), this);
    hostList_ = makeList(hostsGroup, "autoSendHosts",
                         QStringLiteral("Auto send records to the following hosts"),
                         {QStringLiteral("Host"), QStringLiteral("Port")});
    autoSendBox_ = new QCheckBox(QStringLiteral("Enable automatically send records to hosts"),
                                 hostsGroup);
    autoSendBox_->setObjectName(QStringLiteral("autoSendEnabled"));
    addHost_ = makeButton(hostsGroup, "addHost", QStringLiteral("Add"), QStringLiteral("Add host"));
    removeHost_ = makeButton(hostsGroup, "removeHost", QStringLiteral("Remove"),
                             QStringLiteral("Remove host"));
    editHost_ =
        makeButton(hostsGroup, "editHost", QStringLiteral("Edit"), QStringLiteral("Edit host"));
    auto* hostsLayout = new QGridLayout(hostsGroup);
    hostsLayout->addWidget(hostList_, 0, 0, 4, 1);
    hostsLayout->addWidget(addHost_, 0, 1);
    hostsLayout->addWidget(removeHost_, 1, 1);
    hostsLayout->addWidget(editHost_, 2, 1);
    hostsLayout->addWidget(autoSendBox_, 4, 0, 1, 2);

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portLabel);
    portRow->addWidget(portEdit_);
    portRow->addStretch();
    auto* page = new QVBoxLayout(this);
    page->addLayout(portRow);
    page->addWidget(clientsGroup);
    page->addWidget(hostsGroup);

    // A click on either switch takes all three values at once, so that a bad port is pointed
    // out right away; the switch itself is taken either way.
    for (QCheckBox* box : {receiveBox_, autoSendBox_}) {
        connect(box, &QCheckBox::clicked, this, [this] {
            readControls();
            updateEnabledStates();
        });
    }
    connect(clientList_, &QTreeWidget::itemSelectionChanged, this,
            &NetworkOptionPage::updateEnabledStates);
    connect(hostList_, &QTreeWidget::itemSelectionChanged, this,
            &NetworkOptionPage::updateEnabledStates);
    connect(addClient_, &QPushButton::clicked, this, &NetworkOptionPage::addClient);
    connect(removeClient_, &QPushButton::clicked, this, &NetworkOptionPage::removeClient);
    connect(editClient_, &QPushButton::clicked, this, &NetworkOptionPage::editClient);
    connect(addHost_, &QPushButton::clicked, this, &NetworkOptionPage::addHost);
    connect(removeHost_, &QPushButton::clicked, this, &NetworkOptionPage::removeHost);
    connect(editHost_, &QPushButton::clicked, this, &NetworkOptionPage::editHost);
}

void NetworkOptionPage::initialize() {
    receiveEnabled_ = config_.getBool(kOptReceiveEnabled);
    autoSendEnabled_ = config_.getBool(kOptAutoSend);
    addressCheck_ = config_.getBool(kOptTrustedClientAddressCheck, true);
    // Without a stored port the box shows 0; the receiver itself then uses its default.
    port_ = config_.getPort(kOptServerPort, 0);
    receiveBox_->setChecked(receiveEnabled_);
    autoSendBox_->setChecked(autoSendEnabled_);
    addressCheckBox_->setChecked(addressCheck_);
    portEdit_->setText(QString::number(port_));

    clients_ = config_.trustedClientsCopy();
    for (size_t i = 0; i < clients_.clients.size(); ++i) {
        new QTreeWidgetItem(clientList_);
        setClientRow(static_cast<int>(i), clients_.clients[i]);
    }
    hosts_ = config_.autoSendHosts();
    for (size_t i = 0; i < hosts_.size(); ++i) {
        new QTreeWidgetItem(hostList_);
        setHostRow(static_cast<int>(i), hosts_[i]);
    }
    updateEnabledStates();
}

bool NetworkOptionPage::readControls() {
    receiveEnabled_ = receiveBox_->isChecked();
    autoSendEnabled_ = autoSendBox_->isChecked();
    addressCheck_ = addressCheckBox_->isChecked();
    const std::optional<unsigned> port = dialogs::readUnsigned(portEdit_, 65535);
    if (!port) return false;
    port_ = static_cast<uint16_t>(*port);
    return true;
}

void NetworkOptionPage::updateEnabledStates() {
    const bool receive = receiveEnabled_;
    clientList_->setEnabled(receive);
    addClient_->setEnabled(receive);
    addressCheckBox_->setEnabled(receive);
    const bool clientSelected = selectedRow(clientList_) >= 0;
    removeClient_->setEnabled(receive && clientSelected);
    editClient_->setEnabled(receive && clientSelected);

    const bool send = autoSendEnabled_;
    hostList_->setEnabled(send);
    addHost_->setEnabled(send);
    const bool hostSelected = selectedRow(hostList_) >= 0;
    removeHost_->setEnabled(send && hostSelected);
    editHost_->setEnabled(send && hostSelected);
}

void NetworkOptionPage::setClientRow(int row, const TrustedClient& client) {
    QTreeWidgetItem* item = clientList_->topLevelItem(row);
    item->setText(0, dialogs::fromUtf8(client.host));
    item->setText(1, dialogs::fromUtf8(client.user));
    item->setText(2, dialogs::fromUtf8(client.listName));
}

void NetworkOptionPage::setHostRow(int row, const NetworkAddress& address) {
    QTreeWidgetItem* item = hostList_->topLevelItem(row);
    item->setText(0, dialogs::fromUtf8(address.host));
    item->setText(1, QString::number(address.port));
}

QWidget* NetworkOptionPage::dialogOwner() {
    QWidget* active = QApplication::activeWindow();
    return active ? active : window();
}

void NetworkOptionPage::addClient() {
    TrustedClient client;
    TrustedClientPropertyDlg dialog(client, history_, dialogOwner());
    if (dialog.exec() != QDialog::Accepted) return;
    clients_.clients.push_back(client);
    new QTreeWidgetItem(clientList_);
    setClientRow(clientList_->topLevelItemCount() - 1, client);
}

void NetworkOptionPage::removeClient() {
    const int row = selectedRow(clientList_);
    if (row < 0 || row >= static_cast<int>(clients_.clients.size())) return;
    clients_.clients.erase(clients_.clients.begin() + row);
    delete clientList_->takeTopLevelItem(row);
    updateEnabledStates();
}

void NetworkOptionPage::editClient() {
    const int row = selectedRow(clientList_);
    if (row < 0 || row >= static_cast<int>(clients_.clients.size())) return;
    TrustedClientPropertyDlg dialog(clients_.clients[static_cast<size_t>(row)], history_,
                                    dialogOwner());
    if (dialog.exec() != QDialog::Accepted) return;
    setClientRow(row, clients_.clients[static_cast<size_t>(row)]);
}

void NetworkOptionPage::addHost() {
    HostDlg dialog(dialogOwner());
    if (dialog.exec() != QDialog::Accepted) return;
    hosts_.push_back(dialog.address());
    new QTreeWidgetItem(hostList_);
    setHostRow(hostList_->topLevelItemCount() - 1, hosts_.back());
}

void NetworkOptionPage::removeHost() {
    const int row = selectedRow(hostList_);
    if (row < 0 || row >= static_cast<int>(hosts_.size())) return;
    hosts_.erase(hosts_.begin() + row);
    delete hostList_->takeTopLevelItem(row);
    updateEnabledStates();
}

void NetworkOptionPage::editHost() {
    const int row = selectedRow(hostList_);
    if (row < 0 || row >= static_cast<int>(hosts_.size())) return;
    NetworkAddress& entry = hosts_[static_cast<size_t>(row)];
    HostDlg dialog(dialogOwner(), dialogs::fromUtf8(entry.host), static_cast<unsigned>(entry.port));
    if (dialog.exec() != QDialog::Accepted) return;
    entry = dialog.address();
    setHostRow(row, entry);
}

bool NetworkOptionPage::validate() { return readControls(); }

void NetworkOptionPage::apply() {
    config_.setBool(kOptReceiveEnabled, receiveEnabled_);
    config_.setBool(kOptAutoSend, autoSendEnabled_);
    config_.setBool(kOptTrustedClientAddressCheck, addressCheck_);
    config_.setPort(kOptServerPort, port_);
    config_.setTrustedClients(clients_);
    config_.autoSendHosts() = hosts_;
    // Every OK restarts a running receiver, even when nothing changed.
    if (updateReceiver_) updateReceiver_();
}
