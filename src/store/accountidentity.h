#pragma once

#include "records.h"

#include <QByteArray>

#include <optional>

// The mailbox an account reaches: its server type, user name, server and port. What is
// remembered of a mailbox (the messages awaiting review, the ids the user kept) belongs to
// it, not to the account's name, which the user may give to another mailbox.
struct AccountIdentity
{
    QByteArray ServerType;
    QByteArray UserName;
    QByteArray MailServer;
    qint16 Port = 0;

    friend bool operator==(const AccountIdentity &, const AccountIdentity &) = default;
};

AccountIdentity identityOf(const MailAccount &account);

// "<type>,<user>,<server>,<port>", every text percent-encoded: one line of a file, and a key
// that two different identities never share.
QByteArray identityKey(const AccountIdentity &identity);
// The identity of a key identityKey() gave; nothing for any other text.
std::optional<AccountIdentity> identityFromKey(const QByteArray &key);
