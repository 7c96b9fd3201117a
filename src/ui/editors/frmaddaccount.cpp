#include "frmaddaccount.h"

#include "engine/connectiontest.h"
#include "lang/language.h"
#include "net/tcptransport.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/appsettings.h"
#include "store/numbers.h"
#include "store/services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

struct frmAddAccount::Labels
{
    QLabel *serverType = new QLabel(QStringLiteral("Server Type"));
    QLabel *security = new QLabel(QStringLiteral("Security"));
    QLabel *accountName = new QLabel(QStringLiteral("Account Name"));
    QLabel *mailServer = new QLabel(QStringLiteral("Mail Server"));
    QLabel *userName = new QLabel(QStringLiteral("User Name"));
    QLabel *password = new QLabel(QStringLiteral("Password"));
    QLabel *port = new QLabel(QStringLiteral("Port"));
};

namespace {

// The security box's entry that stores no mode.
constexpr int automaticMode = -1;

QLineEdit *textBox(const QString &name)
{
    auto *box = new QLineEdit;
    box->setObjectName(name);
    return box;
}

} // namespace

frmAddAccount::frmAddAccount(const Services &services, bool EditMode, QWidget *parent)
    : QDialog(parent)
    , m_services(services)
    , m_editMode(EditMode)
    , m_labels(std::make_unique<Labels>())
    , m_timeOutSeconds(AppSettings {}.ConnectionTimeOut)
    , m_makeTransport([] { return std::make_unique<TcpTransport>(); })
{
    setObjectName(QStringLiteral("frmAddAccount"));
    setWindowTitle(QStringLiteral("Add Account"));
    cmbServerType = new QComboBox;
    cmbServerType->setObjectName(QStringLiteral("cmbServerType"));
    cmbServerType->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")});
    cmbSecurity = new QComboBox;
    cmbSecurity->setObjectName(QStringLiteral("cmbSecurity"));
    // The names are the stored ones and stay untranslated, like the server types. "Automatic"
    // stores no mode: STARTTLS when offered, SSL/TLS on the usual TLS ports.
    for (SecurityMode mode : {SecurityMode::SslTls, SecurityMode::StartTls, SecurityMode::None})
        cmbSecurity->addItem(securityModeName(mode), int(mode));
    cmbSecurity->addItem(QStringLiteral("Automatic"), automaticMode);
    Text1 = textBox(QStringLiteral("Text1"));
    Text2 = textBox(QStringLiteral("Text2"));
    Text3 = textBox(QStringLiteral("Text3"));
    Text4 = textBox(QStringLiteral("Text4"));
    Text4->setEchoMode(QLineEdit::Password);
    // Every hidden character reads "*", whatever the desktop style would draw.
    Text4->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    chkShowPass = new QCheckBox(QStringLiteral("Show"));
    chkShowPass->setObjectName(QStringLiteral("chkShowPass"));
    Text5 = textBox(QStringLiteral("Text5"));
    fillPort();
    lblCertificate = new QLabel;
    lblCertificate->setObjectName(QStringLiteral("lblCertificate"));
    lblCertificate->setWordWrap(true);
    lblCertificate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCertificate->hide();
    chkTrust = new QCheckBox(QStringLiteral("Trust this certificate"));
    chkTrust->setObjectName(QStringLiteral("chkTrust"));
    chkTrust->hide();
    Label7 = new QLabel(
        QStringLiteral("If you do not know the port, leave this default value as it  is."));
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setWordWrap(true);
    lblTestResult = new QLabel;
    lblTestResult->setObjectName(QStringLiteral("lblTestResult"));
    lblTestResult->setWordWrap(true);
    lblTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTestResult->hide();
    cmdTest = new QPushButton(QStringLiteral("&Test connection"));
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdAdd = new QPushButton(QStringLiteral("&Add"));
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdAdd->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *password = new QHBoxLayout;
    password->addWidget(Text4, 1);
    password->addWidget(chkShowPass);
    auto *fields = new QFormLayout;
    auto *serverType = new QHBoxLayout;
    serverType->addWidget(cmbServerType, 1);
    serverType->addWidget(m_labels->security);
    serverType->addWidget(cmbSecurity, 1);
    fields->addRow(m_labels->serverType, serverType);
    fields->addRow(m_labels->accountName, Text1);
    fields->addRow(m_labels->mailServer, Text2);
    fields->addRow(m_labels->userName, Text3);
    fields->addRow(m_labels->password, password);
    fields->addRow(m_labels->port, Text5);
    fields->addRow(QString(), Label7);
    fields->addRow(QString(), lblCertificate);
    fields->addRow(QString(), chkTrust);
    fields->addRow(QString(), lblTestResult);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdTest);
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(cmbServerType, &QComboBox::currentIndexChanged, this, &frmAddAccount::fillPort);
    connect(cmbSecurity, &QComboBox::currentIndexChanged, this, &frmAddAccount::fillPort);
    connect(chkShowPass, &QCheckBox::toggled, this, [this](bool shown) {
        Text4->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(cmdTest, &QPushButton::clicked, this, &frmAddAccount::onTest);
    connect(cmdAdd, &QPushButton::clicked, this, &frmAddAccount::onAdd);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (m_services.lang.isRightToLeft())
        setLayoutDirection(Qt::RightToLeft);
    if (!m_services.lang.LanguageFailed)
        SetCaptions();
}

frmAddAccount::~frmAddAccount() = default;

void frmAddAccount::showAccount(const MailAccount &account)
{
    // Choosing the type sets its default port first; the account's own port follows.
    cmbServerType->setCurrentText(shownText(account.ServerType));
    Text1->setText(shownText(account.AccountName));
    Text2->setText(shownText(account.MailServer));
    Text3->setText(shownText(account.UserName));
    Text4->clear();
    Text5->setText(QString::number(account.Port));
}

void frmAddAccount::showSecurity(const AccountSecurity &security, const QString &refusedSha256)
{
    const QSignalBlocker keepPort(cmbSecurity);
    cmbSecurity->setCurrentIndex(
        cmbSecurity->findData(security.mode ? int(*security.mode) : automaticMode));
    m_defaultPort = defaultPort();
    m_trustedSha256 = security.trustedSha256;
    // A refusal after a certificate was trusted means the server shows another one now:
    // only that new one can be trusted instead.
    const bool isRefused = !refusedSha256.isEmpty() && refusedSha256 != m_trustedSha256;
    m_offeredSha256 = isRefused ? refusedSha256 : m_trustedSha256;
    if (!m_offeredSha256.isEmpty())
        showCertificate(isRefused);
}

void frmAddAccount::showCertificate(bool isRefused)
{
    lblCertificate->setText(
        isRefused ? m_services
                        .caption(QStringLiteral("280151"),
                                 QStringLiteral("The server's certificate was refused: %1"))
                        .arg(m_offeredSha256)
                  : m_services
                        .caption(QStringLiteral("280153"),
                                 QStringLiteral("This account trusts the certificate: %1"))
                        .arg(m_offeredSha256));
    chkTrust->setChecked(!isRefused);
    lblCertificate->show();
    chkTrust->show();
}

AccountSecurity frmAddAccount::security() const
{
    const int mode = cmbSecurity->currentData().toInt();
    return {mode == automaticMode ? std::nullopt : std::optional(SecurityMode(mode)),
            chkTrust->isChecked() ? m_offeredSha256 : QString()};
}

QString frmAddAccount::defaultPort() const
{
    const bool isImap = cmbServerType->currentIndex() == 1;
    const bool isTls = cmbSecurity->currentData().toInt() == int(SecurityMode::SslTls);
    return QString::number(isTls ? (isImap ? 993 : 995) : (isImap ? 143 : 110));
}

void frmAddAccount::fillPort()
{
    const QString typed = Text5->text().trimmed();
    if (typed.isEmpty() || typed == m_defaultPort)
        Text5->setText(defaultPort());
    m_defaultPort = defaultPort();
}

std::optional<int> frmAddAccount::typedPort()
{
    // A port is a whole number that the account file can hold; nothing else is stored.
    const QByteArray text = Text5->text().toUtf8();
    if (const auto port = toWholeNumber(text, 1, 32767))
        return port;
    bool isNumber = false;
    (void)text.trimmed().toDouble(&isNumber);
    m_services.prompter.warning(
        isNumber ? m_services.caption("280270", "The port must be a whole number from 1 to 32767.")
                 : m_services.caption("20021", "Enter a numeric value in port text box.!!"));
    return std::nullopt;
}

std::optional<MailAccount>
frmAddAccount::typedAccount(std::initializer_list<const QLineEdit *> required)
{
    for (const QLineEdit *box : required) {
        if (box->text().isEmpty()) {
            m_services.prompter.warning(
                m_services.caption("20020", "Fill All Text boxes first.!!!"));
            return std::nullopt;
        }
    }
    const auto port = typedPort();
    if (!port)
        return std::nullopt;
    return MailAccount {cmbServerType->currentText().toUtf8(),
                        Text1->text().toUtf8(),
                        Text2->text().toUtf8(),
                        Text3->text().toUtf8(),
                        Text4->text().toUtf8(),
                        qint16(*port)};
}

void frmAddAccount::onAdd()
{
    m_account = typedAccount({Text1, Text2, Text3, Text4, Text5});
    if (m_account)
        accept();
}

// The test needs no account name: only what reaches the server.
void frmAddAccount::onTest()
{
    const auto account = typedAccount({Text2, Text3, Text4, Text5});
    if (!account)
        return;
    stopTest();
    m_testedAccount = *account;
    m_test = new ConnectionTest(m_makeTransport(), *account, security(), m_timeOutSeconds, this);
    connect(m_test, &ConnectionTest::finished, this, &frmAddAccount::onTestFinished);
    cmdTest->setEnabled(false);
    lblTestResult->setText(
        m_services.caption("280272", "Testing the connection to %1...").arg(Text2->text()));
    lblTestResult->show();
    m_test->start();
}

void frmAddAccount::onTestFinished(const ConnectionTestResult &result)
{
    lblTestResult->setText(
        connectionTestText(m_services, m_testedAccount, result, m_timeOutSeconds));
    stopTest();
    // A refused certificate can be trusted for this account from here, as after a check.
    if (result.outcome == ConnectionTestResult::Outcome::TlsRefused
        && !result.refusal.sha256.isEmpty()) {
        m_offeredSha256 = result.refusal.sha256;
        chkTrust->setChecked(false);
        showCertificate(true);
    }
}

void frmAddAccount::stopTest()
{
    if (m_test) {
        m_test->disconnect(this);
        m_test->deleteLater();
        m_test = nullptr;
    }
    cmdTest->setEnabled(true);
}

void frmAddAccount::done(int result)
{
    stopTest();
    QDialog::done(result);
}

void frmAddAccount::SetCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    setWindowTitle(m_editMode ? c("20070", "Edit an account") : c("20000", "Add Account"));
    cmdAdd->setText(m_editMode ? c("20071", "&Ok") : c("10005", "&Add"));
    chkShowPass->setText(c("20002", "Show"));
    chkTrust->setText(c("280152", "Trust this certificate"));
    cmdTest->setText(c("280271", "&Test connection"));
    Label7->setText(c("20003", "If you do not know the port, leave this default value as it  is."));
    m_labels->serverType->setText(c("20004", "Server Type"));
    m_labels->security->setText(c("280150", "Security"));
    cmbSecurity->setItemText(cmbSecurity->findData(automaticMode), c("280154", "Automatic"));
    m_labels->accountName->setText(c("20006", "Account Name"));
    m_labels->mailServer->setText(c("20009", "Mail Server"));
    m_labels->userName->setText(c("20008", "User Name"));
    m_labels->password->setText(c("20007", "Password"));
    m_labels->port->setText(c("20005", "Port"));
}
