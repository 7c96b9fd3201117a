#pragma once

#include "addresslisteditor.h"

// The friend list editor: senders whose mail is always kept.
class frmFriendList : public AddressListEditor
{
    Q_OBJECT

public:
    frmFriendList(KorvaneCore &core, QWidget *parent = nullptr);

    QTreeWidget *ListView3;
    QPushButton *cmdAddFriendAcc;
    QPushButton *cmdEditFriendAcc;
    QPushButton *cmdDeleteFriendAcc;
};
