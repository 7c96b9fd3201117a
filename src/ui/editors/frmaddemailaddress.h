#pragma once

#include "listentrydialog.h"
#include "store/records.h"

#include <optional>

// One address of the friend or blocked list, for adding one or changing a row. The dialog
// checks what was typed and hands it back; the list editor that opened it stores it.
class frmAddEmailAddress : public ListEntryDialog
{
    Q_OBJECT

public:
    // `list` is the opening editor's list, in which an added address must not be found yet.
    frmAddEmailAddress(const Services &services, const QTreeWidget &list,
                       QWidget *parent = nullptr);
    ~frmAddEmailAddress() override;

    // Fills the box from the row being changed.
    void showAddress(const AddressPattern &address) { showText(address); }
    // The address typed in, once the dialog was accepted.
    const std::optional<AddressPattern> &address() const { return m_address; }

    // True when the friend list editor opened the dialog, false for the blocked list.
    bool ForFriendList = true;

private:
    bool isTypedValid() const override;
    void keepTyped() override;

    std::optional<AddressPattern> m_address;
};
