#pragma once

#include "store/accountsecurity.h"
#include "store/records.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class ConnectionTest;
class Transport;
struct ConnectionTestResult;
struct Services;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The fields of one account, for adding one or changing one. The dialog only checks and
// hands back the account; the editor stores it.
class frmAddAccount : public QDialog
{
    Q_OBJECT

public:
    frmAddAccount(const Services &services, bool EditMode, QWidget *parent = nullptr);
    ~frmAddAccount() override;

    // Fills the boxes from an account; the password box stays empty, so a change always
    // takes the password again.
    void showAccount(const MailAccount &account);
    // The account typed in, once the dialog was accepted.
    const std::optional<MailAccount> &account() const { return m_account; }
    // Shows an account's stored security, "Automatic" when no mode is stored. Call after
    // showAccount(), whose port it keeps. A refused certificate's fingerprint is offered for
    // trust.
    void showSecurity(const AccountSecurity &security, const QString &refusedSha256 = {});
    // The security chosen, once the dialog was accepted.
    AccountSecurity security() const;

    // The connection test gives up after this many seconds without data from the server.
    void setConnectionTimeOut(int seconds) { m_timeOutSeconds = seconds; }
    // Where the connection test gets its connection; a real socket unless set.
    void setTransportMaker(std::function<std::unique_ptr<Transport>()> make)
    {
        m_makeTransport = std::move(make);
    }
    // Closing the dialog abandons a connection test that still runs.
    void done(int result) override;

    QComboBox *cmbServerType;
    QComboBox *cmbSecurity;
    QLineEdit *Text1;
    QLineEdit *Text2;
    QLineEdit *Text3;
    QLineEdit *Text4;
    QCheckBox *chkShowPass;
    QLineEdit *Text5;
    QLabel *lblCertificate;
    QCheckBox *chkTrust;
    QLabel *Label7;
    QLabel *lblTestResult;
    QPushButton *cmdTest;
    QPushButton *cmdAdd;
    QPushButton *cmdCancel;

private:
    struct Labels;
    void SetCaptions();
    // A new server type or security mode brings its usual port, unless the user typed
    // another one: the port is replaced only while it holds the previous choice's default.
    void fillPort();
    // The usual port of the chosen server type and security mode.
    QString defaultPort() const;
    // The typed port, or a warning and nothing.
    std::optional<int> typedPort();
    // The typed account, or a warning and nothing when a box of `required` is empty or the
    // port is not one.
    std::optional<MailAccount> typedAccount(std::initializer_list<const QLineEdit *> required);
    void onAdd();
    void onTest();
    void onTestFinished(const ConnectionTestResult &result);
    void stopTest();
    // Shows the certificate that chkTrust stands for, refused or trusted before.
    void showCertificate(bool isRefused);

    const Services &m_services;
    bool m_editMode;
    std::unique_ptr<Labels> m_labels;
    std::optional<MailAccount> m_account;
    QString m_trustedSha256;
    // The fingerprint chkTrust stands for: the refused one, or the one trusted before.
    QString m_offeredSha256;
    QString m_defaultPort; // the default the port box was last given
    int m_timeOutSeconds;
    std::function<std::unique_ptr<Transport>()> m_makeTransport;
    ConnectionTest *m_test = nullptr; // the one that runs, a child of the dialog
    MailAccount m_testedAccount; // as typed when the test started
};
