#include "frmaccounteditor.h"

#include "frmaddaccount.h"
#include "lang/language.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/appsettings.h"
#include "store/listfiles.h"
#include "store/maillists.h"
#include "store/reviewqueue.h"
#include "store/services.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

struct frmAccountEditor::Labels
{
    QLabel *account = new QLabel(QStringLiteral("Account"));
    QLabel *serverType = new QLabel(QStringLiteral("Server Type"));
    QLabel *mailServer = new QLabel(QStringLiteral("Mail Server"));
    QLabel *userName = new QLabel(QStringLiteral("User Name"));
    QLabel *password = new QLabel(QStringLiteral("Password"));
    QLabel *port = new QLabel(QStringLiteral("Port"));
};

namespace {

QLineEdit *readOnlyBox(const QString &name)
{
    auto *box = new QLineEdit;
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

// The parts of an account that key its stored security.
bool sameKey(const MailAccount &a, const MailAccount &b)
{
    return a.ServerType == b.ServerType && a.UserName == b.UserName && a.MailServer == b.MailServer
        && a.Port == b.Port;
}

QPushButton *button(const QString &name, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(name);
    return b;
}

} // namespace

frmAccountEditor::frmAccountEditor(const Services &services, MailLists &lists, ListFiles &listFiles,
                                   CRegister &registry, const bool &isChecking, QWidget *parent)
    : QDialog(parent)
    , m_services(services)
    , m_lists(lists)
    , m_listFiles(listFiles)
    , m_registry(registry)
    , m_isChecking(isChecking)
    , m_labels(std::make_unique<Labels>())
{
    setObjectName(QStringLiteral("frmAccountEditor"));
    setWindowTitle(QStringLiteral("Account Editor"));
    cmbAccount = new QComboBox;
    cmbAccount->setObjectName(QStringLiteral("cmbAccount"));
    txtServerType = readOnlyBox(QStringLiteral("txtServerType"));
    txtMailServer = readOnlyBox(QStringLiteral("txtMailServer"));
    txtuserName = readOnlyBox(QStringLiteral("txtuserName"));
    txtPassword = readOnlyBox(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every hidden character reads "*", whatever the desktop style would draw.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    txtPort = readOnlyBox(QStringLiteral("txtPort"));
    cmdAdd = button(QStringLiteral("cmdAdd"), QStringLiteral("&Add"));
    cmdEdit = button(QStringLiteral("cmdEdit"), QStringLiteral("&Edit"));
    cmdDelete = button(QStringLiteral("cmdDelete"), QStringLiteral("&Delete"));
    cmdOK = button(QStringLiteral("cmdOK"), QStringLiteral("&Ok"));
    cmdCancel = button(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));

    Frame1 = new QGroupBox(QStringLiteral("Mail Accounts"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *fields = new QFormLayout(Frame1);
    fields->addRow(m_labels->account, cmbAccount);
    fields->addRow(m_labels->serverType, txtServerType);
    fields->addRow(m_labels->mailServer, txtMailServer);
    fields->addRow(m_labels->userName, txtuserName);
    fields->addRow(m_labels->password, txtPassword);
    fields->addRow(m_labels->port, txtPort);

    auto *commands = new QVBoxLayout;
    for (QPushButton *b : {cmdAdd, cmdEdit, cmdDelete})
        commands->addWidget(b);
    commands->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(Frame1, 1);
    top->addLayout(commands);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);

    connect(cmbAccount, &QComboBox::currentIndexChanged, this, &frmAccountEditor::showAccount);
    connect(cmdAdd, &QPushButton::clicked, this, &frmAccountEditor::onAdd);
    connect(cmdEdit, &QPushButton::clicked, this, &frmAccountEditor::onEdit);
    connect(cmdDelete, &QPushButton::clicked, this, &frmAccountEditor::onDelete);
    connect(cmdOK, &QPushButton::clicked, this, &frmAccountEditor::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAccountEditor::reject);

    if (m_services.lang.isRightToLeft())
        setLayoutDirection(Qt::RightToLeft);
    if (!m_services.lang.LanguageFailed)
        SetCaptions();
    reload();
}

frmAccountEditor::~frmAccountEditor() = default;

void frmAccountEditor::reload()
{
    m_listFiles.LoadAccounts(m_isChecking);
    m_accountsAtOpening = m_lists.Accounts;
    m_loadedAtOpening = m_lists.AccountsLoaded;
    m_security.clear();
    m_refused.clear();
    for (const MailAccount &account : std::as_const(m_lists.Accounts)) {
        m_security << LoadAccountSecurity(m_registry, account);
        m_refused << LoadRefusedCertificate(m_registry, account);
    }
    const QSignalBlocker block(cmbAccount);
    cmbAccount->clear();
    m_recordOfEntry.clear();
    for (int i = 0; m_lists.AccountsLoaded && i < m_lists.Accounts.size(); ++i) {
        cmbAccount->addItem(shownText(m_lists.Accounts.at(i).AccountName));
        m_recordOfEntry << i;
    }
    cmbAccount->setCurrentIndex(cmbAccount->count() > 0 ? 0 : -1);
    showAccount(cmbAccount->currentIndex());
}

void frmAccountEditor::showAccount(int entry)
{
    const bool valid = entry >= 0 && entry < m_recordOfEntry.size();
    const MailAccount account
        = valid ? m_lists.Accounts.value(m_recordOfEntry.at(entry)) : MailAccount {};
    txtServerType->setText(shownText(account.ServerType));
    txtMailServer->setText(shownText(account.MailServer));
    txtuserName->setText(shownText(account.UserName));
    txtPassword->setText(shownText(account.Password));
    txtPort->setText(valid ? QString::number(account.Port) : QString());
}

std::optional<MailAccount> frmAccountEditor::askForAccount(bool editMode, const MailAccount *shown,
                                                           AccountSecurity &security,
                                                           const QString &refusedSha256)
{
    frmAddAccount dialog(m_services, editMode, this);
    if (m_settings)
        dialog.setConnectionTimeOut(m_settings->ConnectionTimeOut);
    if (shown) {
        dialog.showAccount(*shown);
        dialog.showSecurity(security, refusedSha256);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    security = dialog.security();
    return dialog.account();
}

void frmAccountEditor::onAdd()
{
    AccountSecurity security;
    const auto account = askForAccount(false, nullptr, security, {});
    if (!account)
        return;
    m_lists.Accounts.append(*account);
    m_security.resize(m_lists.Accounts.size() - 1);
    m_security << security;
    m_refused.resize(m_lists.Accounts.size());
    m_recordOfEntry << int(m_lists.Accounts.size() - 1);
    cmbAccount->addItem(shownText(account->AccountName));
    cmbAccount->setCurrentIndex(cmbAccount->count() - 1);
    showAccount(cmbAccount->currentIndex());
}

void frmAccountEditor::onEdit()
{
    const int entry = cmbAccount->currentIndex();
    if (entry < 0 || entry >= m_recordOfEntry.size())
        return;
    const int record = m_recordOfEntry.at(entry);
    const MailAccount current = m_lists.Accounts.value(record);
    AccountSecurity security = m_security.value(record);
    const auto account = askForAccount(true, &current, security, m_refused.value(record));
    if (!account || record >= m_lists.Accounts.size())
        return;
    m_lists.Accounts[record] = *account;
    m_security.resize(m_lists.Accounts.size());
    m_security[record] = security;
    m_refused.resize(m_lists.Accounts.size());
    // Trusted now, or declined for a new key: either way nothing is left to offer.
    if (m_refused[record] == security.trustedSha256 || !sameKey(current, *account))
        m_refused[record].clear();
    cmbAccount->setItemText(entry, shownText(account->AccountName));
    showAccount(entry);
}

bool frmAccountEditor::editAccount(const QByteArray &accountName)
{
    for (int entry = 0; entry < m_recordOfEntry.size(); ++entry) {
        if (m_lists.Accounts.value(m_recordOfEntry.at(entry)).AccountName != accountName)
            continue;
        cmbAccount->setCurrentIndex(entry);
        onEdit();
        return true;
    }
    return false;
}

void frmAccountEditor::onDelete()
{
    if (cmbAccount->count() == 0)
        return;
    if (!m_services.prompter.question(
            m_services.caption(QStringLiteral("270008"), QStringLiteral("Delete this account?!"))))
        return;
    const int entry = cmbAccount->currentIndex();
    if (entry < 0 || entry >= m_recordOfEntry.size())
        return;
    // The record stays in the list with an empty name until OK writes the file.
    const int record = m_recordOfEntry.takeAt(entry);
    if (record < m_lists.Accounts.size())
        m_lists.Accounts[record].AccountName.clear();
    const QSignalBlocker block(cmbAccount);
    cmbAccount->removeItem(entry);
    cmbAccount->setCurrentIndex(-1);
    showAccount(-1);
}

void frmAccountEditor::onOk()
{
    // A failed save has been reported inside; the editor closes all the same. The accounts
    // are then read back as the file still holds them, so their security stays under the
    // keys it had: moved to the edited keys, it would belong to no account.
    const bool isSaved = m_listFiles.SaveAccounts();
    if (isSaved)
        saveSecurity();
    m_listFiles.LoadAccounts(m_isChecking);
    m_lists.AccountsLoaded = cmbAccount->count() > 0;
    if (isSaved)
        dropReviewOfGoneMailboxes();
    accept();
}

void frmAccountEditor::dropReviewOfGoneMailboxes()
{
    if (!m_reviewQueue)
        return;
    // A deleted account, or one that now reaches another server, user or port, leaves
    // messages behind whose server ids mean nothing in any mailbox still configured:
    // confirming one must never delete whatever has that id elsewhere.
    const int dropped = m_reviewQueue->dropGoneAccounts(m_lists.Accounts);
    if (dropped > 0)
        m_services.prompter.warning(
            m_services
                .caption(QStringLiteral("280401"),
                         QStringLiteral("%1 messages awaiting review were dropped: their account "
                                        "was deleted or now reaches another mailbox."))
                .arg(dropped));
}

void frmAccountEditor::saveSecurity()
{
    // Removing every old key first lets an account take over a key another one gave up.
    for (const MailAccount &account : std::as_const(m_accountsAtOpening)) {
        (void)SaveAccountSecurity(m_registry, account, {});
        (void)SaveRefusedCertificate(m_registry, account, {});
    }
    for (int i = 0; i < m_lists.Accounts.size() && i < m_security.size(); ++i) {
        // A deleted account keeps its record with an empty name until the file is written.
        const MailAccount &account = m_lists.Accounts.at(i);
        if (account.AccountName.isEmpty())
            continue;
        (void)SaveAccountSecurity(m_registry, account, m_security.at(i));
        (void)SaveRefusedCertificate(m_registry, account, m_refused.value(i));
    }
}

void frmAccountEditor::reject()
{
    m_lists.Accounts = m_accountsAtOpening;
    m_lists.AccountsLoaded = m_loadedAtOpening;
    QDialog::reject();
}

void frmAccountEditor::SetCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    setWindowTitle(c("120000", "Account Editor"));
    cmdAdd->setText(c("10005", "&Add"));
    cmdDelete->setText(c("10006", "&Delete"));
    cmdEdit->setText(c("70017", "&Edit"));
    cmdOK->setText(c("10001", "&Ok"));
    cmdCancel->setText(c("10002", "&Cancel"));
    Frame1->setTitle(c("120005", "Mail Accounts"));
    m_labels->account->setText(c("120007", "Account"));
    m_labels->serverType->setText(c("20004", "Server Type"));
    m_labels->mailServer->setText(c("20009", "Mail Server"));
    m_labels->userName->setText(c("20008", "User Name"));
    m_labels->password->setText(c("20007", "Password"));
    m_labels->port->setText(c("20005", "Port"));
}
