#pragma once

#include <QByteArray>

// The records of the list files. Texts are kept as the bytes of the files.

// One configured mailbox.
struct MailAccount
{
    QByteArray ServerType; // "POP3" or "IMAP"
    QByteArray AccountName; // empty: deleted in the account editor
    QByteArray MailServer;
    QByteArray UserName;
    QByteArray Password; // clear text in memory, scrambled in the file
    qint16 Port = 0;
};

// One weighted expression of the spam word filter.
struct SpamWord
{
    QByteArray Word;
    qint16 Value = 0;
};

// An address, or one whose whole local part or whole domain is "*".
using AddressPattern = QByteArray;
