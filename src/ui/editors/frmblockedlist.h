#pragma once

#include "addresslisteditor.h"

// The blocked list editor: senders whose mail is deleted.
class frmBlockedList : public AddressListEditor
{
    Q_OBJECT

public:
    frmBlockedList(KorvaneCore &core, QWidget *parent = nullptr);

    QTreeWidget *ListView2;
    QPushButton *cmdAddBlocedAcc;
    QPushButton *cmdEditBlockedAcc;
    QPushButton *cmdDeleteBlockedAcc;
};
