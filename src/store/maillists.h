#pragma once

#include "records.h"

#include <QList>

// The four shared lists with their loaded flags. A loader sets a flag once it has stored a
// complete record and never clears it; the editors set the flags from their own counts.
struct MailLists
{
    QList<MailAccount> Accounts;
    bool AccountsLoaded = false;
    QList<SpamWord> BadWords;
    bool BadWordsLoaded = false;
    QList<AddressPattern> FriendList;
    bool FriendListLoaded = false;
    QList<AddressPattern> BlockedList;
    bool BlockedListLoaded = false;
};
