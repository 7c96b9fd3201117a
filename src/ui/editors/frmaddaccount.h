#pragma once

#include "store/records.h"

#include <QDialog>

#include <optional>

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

    QComboBox *cmbServerType;
    QLineEdit *Text1;
    QLineEdit *Text2;
    QLineEdit *Text3;
    QLineEdit *Text4;
    QCheckBox *chkShowPass;
    QLineEdit *Text5;
    QLabel *Label7;
    QPushButton *cmdAdd;
    QPushButton *cmdCancel;

private:
    struct Labels;
    void SetCaptions();
    void onServerTypeChosen(int index);
    void onAdd();

    const Services &m_services;
    bool m_editMode;
    std::unique_ptr<Labels> m_labels;
    std::optional<MailAccount> m_account;
};
