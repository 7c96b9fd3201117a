#pragma once

#include "reviewitem.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

struct MailAccount;
struct Services;

// The messages awaiting the user's review, and the ids of those the user chose to keep, so
// that a kept message is never proposed again. Both belong to the mailbox of an account (its
// AccountIdentity), not to its name. Kept in the data folder ("Review.ini"), rewritten whole
// and atomically when the queue changes (a call that changes nothing writes nothing); a file
// that cannot be read is moved aside to ".bad" like every data file. Emits changed() after
// every change.
//
// "Review.ini" is a byte text of blocks, every line ended by CR LF (LF alone accepted on
// reading). A block starts with its kind on a line of its own:
//   "item2", then twelve lines: AccountName, the mailbox's identityKey(), serverId,
//           serverSize (decimal, -1: not known), headerDigest (empty: not known),
//           MailNumber (decimal), Sender, Subject, SendDate, Size, the reason's caption key,
//           and why (UTF-8);
//   "kept2", then two lines: the mailbox's identityKey(), serverId.
// Files written before the mailbox was recorded hold blocks that name the account alone:
//   "item", then nine lines: AccountName, serverId, MailNumber (decimal), Sender, Subject,
//           SendDate, Size, the reason's caption key, and why (UTF-8);
//   "kept", then two lines: AccountName, serverId.
// They are read as the mailbox of the configured account of that name when the name leads
// to one mailbox, and dropped otherwise; an item read from them has neither serverSize nor
// headerDigest, so it is never deleted before a check has queued it anew.
// Texts are written as bytes with every CR and LF made a blank. A file that ends inside a
// block, or holds an unknown kind, a number that is no number, an identity key that
// identityFromKey() refuses or an unknown reason key, is damaged: the blocks before the
// fault are kept.
class ReviewQueue : public QObject
{
    Q_OBJECT

public:
    ReviewQueue(const QString &dataDir, Services &services, QObject *parent = nullptr);

    // Reads the file. What belongs to a mailbox that none of the accounts reaches is
    // dropped, and the file then rewritten once.
    void load(const QList<MailAccount> &accounts);
    QList<ReviewItem> items() const { return m_items; }
    int count() const { return int(m_items.size()); }

    // After a check in ask mode: the items of the account's mailbox become exactly these,
    // named as the account is now (items no longer on the server are dropped). Items the
    // user kept are left out.
    [[nodiscard]] bool replaceAccount(const MailAccount &account, const QList<ReviewItem> &items);
    // The user kept these: they leave the queue and are never proposed again.
    [[nodiscard]] bool keep(const QList<ReviewItem> &items);
    // The server deleted these: they leave the queue.
    [[nodiscard]] bool remove(const QList<ReviewItem> &items);
    bool isKept(const AccountIdentity &mailbox, const QByteArray &serverId) const;
    // The accounts were changed: the items and kept ids of every mailbox none of them
    // reaches any more are dropped. Gives how many items went; a failed write is reported.
    int dropGoneAccounts(const QList<MailAccount> &accounts);

    QString path() const { return m_path; }

signals:
    void changed();

private:
    class Mailboxes;
    class BlockReader;

    // Reads one block into the queue; false when the file is damaged there.
    bool readBlock(BlockReader &reader, const Mailboxes &mailboxes);
    void dropRepeats();
    void keepId(const QByteArray &mailboxKey, const QByteArray &serverId);
    void removeItems(const QList<ReviewItem> &items);
    int dropUnknown(const Mailboxes &mailboxes);
    // The queue as the file holds it.
    QList<QByteArray> fileLines() const;
    // After a call that may have changed the queue, whose lines were `before`: writes the
    // file unless it holds the queue already, and announces a change.
    bool saveIfChanged(const QList<QByteArray> &before);
    // Writes the lines unless the file holds them; reports a failure.
    bool write(const QList<QByteArray> &lines);

    QString m_path;
    Services &m_services;
    QList<ReviewItem> m_items;
    QList<std::pair<QByteArray, QByteArray>> m_kept; // identityKey(), server id, in file order
    // The same pairs for lookups: a first check of a large mailbox asks once per message.
    QSet<std::pair<QByteArray, QByteArray>> m_keptSet;
    // What the file holds as far as this queue knows; nothing when that is not known (not
    // read yet, or a write failed), so the next call writes.
    std::optional<QList<QByteArray>> m_onDisk;
};
