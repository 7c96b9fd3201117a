#pragma once

#include "store/records.h"

#include <QDialog>

#include <optional>

struct Services;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// One address of the friend or blocked list, for adding one or changing a row. The dialog
// checks what was typed and hands it back; the list editor that opened it stores it.
class frmAddEmailAddress : public QDialog
{
    Q_OBJECT

public:
    // `list` is the opening editor's list, in which an added address must not be found yet.
    frmAddEmailAddress(const Services &services, const QTreeWidget &list,
                       QWidget *parent = nullptr);
    ~frmAddEmailAddress() override;

    // Fills the box from the row being changed.
    void showAddress(const AddressPattern &address);
    // The address typed in, once the dialog was accepted.
    const std::optional<AddressPattern> &address() const { return m_address; }

    // True when the friend list editor opened the dialog, false for the blocked list.
    bool ForFriendList = true;
    // False: add a new address; true: change the row EditIndex (counted from 1).
    bool EditMode = false;
    int EditIndex = 0;

    QLabel *Label1;
    QLineEdit *Text1;
    QLabel *Label2;
    QPushButton *cmdAdd;
    QPushButton *cmdCancel;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyLanguage();
    void onAdd();

    const Services &m_services;
    const QTreeWidget &m_list;
    QByteArray m_shownAddress;
    std::optional<AddressPattern> m_address;
};
