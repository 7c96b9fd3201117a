#pragma once

#include "store/accountsecurity.h"
#include "store/records.h"

#include <QDialog>

#include <optional>

class CRegister;
class ListFiles;
class ReviewQueue;
struct AppSettings;
struct MailLists;
struct Services;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The account editor: the configured mailboxes with their fields. Add, Edit and Delete
// change the shared list at once; OK writes "Accounts.ini" and reads it back, Cancel puts
// the list back as it was when the editor opened.
class frmAccountEditor : public QDialog
{
    Q_OBJECT

public:
    // isChecking is the live flag of a running check: loading the accounts asks it.
    // Each account's security lives in `registry`; OK moves it with the account's changes.
    frmAccountEditor(const Services &services, MailLists &lists, ListFiles &listFiles,
                     CRegister &registry, const bool &isChecking, QWidget *parent = nullptr);
    ~frmAccountEditor() override;

    // The live settings; the account dialog's connection test takes its time-out from them.
    void setSettings(const AppSettings &settings) { m_settings = &settings; }
    // The messages awaiting review: OK drops those of every mailbox no account reaches any
    // more, and says how many went.
    void setReviewQueue(ReviewQueue &queue) { m_reviewQueue = &queue; }

    // Reloads the accounts from the file and lists them.
    void reload();
    // Shows the account of that name and opens its dialog, as Edit does; false when the
    // editor lists no such account.
    bool editAccount(const QByteArray &accountName);
    // Cancel, Escape and the close box: nothing is written, and the list goes back to what
    // the file held when the editor opened.
    void reject() override;

    QGroupBox *Frame1;
    QComboBox *cmbAccount;
    QLineEdit *txtServerType;
    QLineEdit *txtMailServer;
    QLineEdit *txtuserName;
    QLineEdit *txtPassword;
    QLineEdit *txtPort;
    QPushButton *cmdAdd;
    QPushButton *cmdEdit;
    QPushButton *cmdDelete;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

private:
    struct Labels;
    void SetCaptions();
    void showAccount(int entry);
    void onAdd();
    void onEdit();
    void onDelete();
    void onOk();
    // The dialog for one account; nothing when it was cancelled.
    std::optional<MailAccount> askForAccount(bool editMode, const MailAccount *shown,
                                             AccountSecurity &security,
                                             const QString &refusedSha256);
    // Writes the security of every account under its key as it is now; the keys of the
    // accounts as they were at opening are removed first.
    void saveSecurity();
    void dropReviewOfGoneMailboxes();

    const Services &m_services;
    MailLists &m_lists;
    ListFiles &m_listFiles;
    CRegister &m_registry;
    const bool &m_isChecking;
    const AppSettings *m_settings = nullptr;
    ReviewQueue *m_reviewQueue = nullptr;
    std::unique_ptr<Labels> m_labels;
    // For every entry of cmbAccount, the index in Accounts of the record it stands for.
    QList<int> m_recordOfEntry;
    QList<MailAccount> m_accountsAtOpening;
    // The security of every record of Accounts, written only by OK.
    QList<AccountSecurity> m_security;
    // For every record, the fingerprint its last connection refused.
    QList<QString> m_refused;
    bool m_loadedAtOpening = false;
};
