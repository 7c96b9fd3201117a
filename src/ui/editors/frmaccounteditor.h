#pragma once

#include <QDialog>

class KorvaneCore;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The account editor: the configured mailboxes with their fields. OK writes
// "Accounts.ini" and reads it back.
class frmAccountEditor : public QDialog
{
    Q_OBJECT

public:
    explicit frmAccountEditor(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmAccountEditor() override;

    // Reloads the accounts from the file and lists them.
    void reload();

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
    void onOk();

    KorvaneCore &m_core;
    std::unique_ptr<Labels> m_labels;
    // For every entry of cmbAccount, the index in Accounts of the record it stands for.
    QList<int> m_recordOfEntry;
};
